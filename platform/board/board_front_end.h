// The front end (front_end.h) inside the board: what tests do at the cameras'
// end of the cable and how they look at the LUTs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/board/board.h"

namespace plat::board {

// Register access with the board's lock held; false for other offsets.
bool front_end_register_read(const Board& board, std::uint32_t offset, std::uint32_t* value);
bool front_end_register_write(Board& board, std::uint32_t offset, std::uint32_t value);
// The cameras' link status lines, added to 0x418.
std::uint32_t front_end_link_status(const Board& board);

// For tests and tools. Cameras are 0 and 1; false for any other.
bool board_front_end_set_pocl_fault(Board* board, std::uint32_t camera, bool fault);
void board_front_end_set_link_status(Board* board, std::uint32_t lines);
void board_front_end_set_binarisation_present(Board* board, bool present);
std::uint32_t board_front_end_lut_loads(Board* board);
// Bytes of LUT memory at a BAR 0 address (memory windows only); false outside them.
bool board_front_end_lut_peek(Board* board, std::uint32_t address, std::uint32_t count,
                              std::vector<std::uint8_t>* bytes);

}  // namespace plat::board
