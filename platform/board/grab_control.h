// The board control interface's grab commands (kControlGrabSetCamera ..
// kControlGrabState, control_protocol.h) against one board.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/board/board.h"
#include "platform/board/control_protocol.h"

namespace plat::board {

inline constexpr std::uint32_t kControlGrabFirst = kControlGrabSetCamera;
inline constexpr std::uint32_t kControlGrabLast = kControlGrabState;

// Answers a ControlStatus; fills the reply payload where the command has one.
std::int32_t grab_control_command(Board* board, const ControlRequest& request, std::span<const std::byte> payload,
                                  std::vector<std::byte>* out);

}  // namespace plat::board
