// What a board-private command works on: the device's board and connector,
// its input and output bytes, and the checks every command makes on them.
// Internal to the board-private commands.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/user/Pardow.h"
#include "source/QelAcq/YatAcqCustomCmd.h"

struct AcqCmdArgs {
  std::uint32_t board = 0;
  std::uint32_t connector = 0;
  const std::uint8_t* in = nullptr;
  std::uint32_t inSize = 0;
  std::uint8_t* out = nullptr;
  std::uint32_t outSize = 0;

  // Input fields at byte offsets, unaligned; the caller checked the size.
  template <typename T>
  T field(std::uint32_t offset) const {
    T value;
    std::memcpy(&value, in + offset, sizeof value);
    return value;
  }
  template <typename T>
  void put(std::uint32_t offset, T value) const {
    std::memcpy(out + offset, &value, sizeof value);
  }
};

// The device the handle names, its board and connector; the lookup's status
// (with the acquisition module's part) when it names none.
QelStatus AcqCmdArgsOf(const QelHandle* handle, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, AcqCmdArgs* args);
// 566 without input, 818 for another size.
QelStatus AcqCmdNeedInput(const AcqCmdArgs& args, std::uint32_t size);
// 1078 without output, 1330 for another size.
QelStatus AcqCmdNeedOutput(const AcqCmdArgs& args, std::uint64_t size);

// A copy of `count` (register, value) pairs at `address` in this process:
// 566 when count is above `limit` or the block is not readable.
QelStatus AcqReadClientPairs(std::uint64_t address, std::uint32_t count, std::uint32_t limit,
                             std::vector<YatRegisterPairs>* pairs);
// 566 unless [address, address + bytes) is readable in this process.
QelStatus AcqCheckClientBlock(std::uint64_t address, std::uint64_t bytes);

// The firmware's option bits F (firmware flash record byte 72).
QelStatus AcqFirmwareOptions(std::uint32_t board, std::uint16_t* options);
bool AcqKernelAvailable(std::uint32_t board);

// Commands 528-531 (the processing kernel).
QelStatus AcqKernelCommand(const AcqCmdArgs& args, std::uint32_t command);
