// Executes one control request against the served boards.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "platform/board/control_protocol.h"
#include "platform/board/control_server.h"

namespace plat::board {

struct ControlTable {
  std::vector<Board*> boards;  // null once removed
  BoardControlHooks hooks;
};

// Fills the reply (status, value) and the reply payload.
void control_execute(ControlTable& table, const ControlRequest& request,
                     std::span<const std::byte> payload, ControlReply* reply,
                     std::vector<std::byte>* reply_payload);

}  // namespace plat::board
