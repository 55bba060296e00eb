// An in-process stand-in for what the message code needs around it: a board
// whose registers are a map, the queue table, time stamps and the kernel
// acquisition action, so the decoder and the routing are tested alone.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "driver/kernel/MsgRouting.h"

struct MsgFakeBoard {
  MsgFakeBoard();
  ~MsgFakeBoard();

  std::unique_ptr<YatBoardExtension> board;
  std::unique_ptr<YatEventRouting> routing;
  std::unique_ptr<YatMsgQueueRow[]> queues;  // 16 rows
  std::map<std::uint32_t, std::uint32_t> registers;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;  // in order
  std::set<std::uint32_t> failing;                               // offsets whose access fails
  std::array<std::uint32_t, 8> hostMessage{};
  std::uint32_t interruptMask = 0;
  std::array<std::uint64_t, 4> stamps{};
  std::uint32_t secondChannelEvents = 0;  // YatEventChannelOf answers 1 for these events
  std::vector<std::pair<std::uint32_t, std::uint32_t>> acqActions;

  YatMsgQueue* Queue(std::uint32_t row, std::uint32_t type) { return &queues[row][type]; }
  std::uint32_t Reg(std::uint32_t offset) { return registers[offset]; }
};
