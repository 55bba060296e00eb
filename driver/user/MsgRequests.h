// The section-5 requests of the library's message functions, as one form:
// the status word preset to a given value, a failed or empty answer told
// apart from the driver's status.
#pragma once

#include <cstdint>

#include "driver/kernel/YatMessages.h"
#include "driver/user/QelHwStatus.h"

// Presets of the status word.
inline constexpr std::int32_t kMsgPresetOne = 1;

// How a request came back.
struct MsgAnswer {
  int sent;             // the request completed
  std::uint32_t bytes;  // bytes returned
  QelHwStatus status;   // the driver's status word (the preset when not written)
  bool Delivered() const { return sent != 0 && bytes != 0; }
};

// A driver-wide request: target 0, board 0, not stamped.
MsgAnswer MsgSendGlobal(std::uint32_t code, void* input, std::uint32_t inputSize, std::int32_t preset);
// A request for a board: the header is stamped with target 1 and the board.
MsgAnswer MsgSendBoard(std::uint32_t board, std::uint32_t code, void* input, std::uint32_t inputSize,
                       std::int32_t preset);

// Registration and release of a message event for a type (global requests).
MsgAnswer MsgRegisterEvent(std::uint32_t type, std::uint64_t event);
MsgAnswer MsgUnregisterEvent(std::uint32_t type, std::uint64_t event);
