// For tests: counts of what a board has done since the kernel host made it,
// so that a test can tell that a process left the hardware alone.
#pragma once

#include <cstdint>

#include "platform/board/board.h"

namespace plat::board {

struct BoardActivity {
  std::uint32_t logic_resets = 0;       // the main FPGA's logic resets
  std::uint32_t flash_array_reads = 0;  // bus reads of the flash array
  std::uint32_t eeprom_accesses = 0;    // transfers an EEPROM acknowledged, every EEPROM together
};

BoardActivity board_activity(Board* board);

}  // namespace plat::board
