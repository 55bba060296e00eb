// BAR 0: routes each 32-bit register access to the block that owns the
// offset. Accesses no block owns, misaligned ones and those beyond the
// register space are logged to the machine log and read as all ones.
#pragma once

#include <cstdint>

#include "platform/board/board_state.h"

namespace plat::board {

// The board's lock is held by the caller.
std::uint32_t register_read(Board& board, std::uint64_t offset);
void register_write(Board& board, std::uint64_t offset, std::uint32_t value);

}  // namespace plat::board
