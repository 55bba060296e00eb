// The reload from flash (0x1000C bit 0): the FPGA drops off the bus while it
// reconfigures, so configuration space and registers answer all ones and
// writes are lost for the reload time (flash_port.h); then the design is
// taken from the main section, or from the backup section when the main one
// holds no valid image, in which case the FPGA state register 0x10008 shows
// bit 31. With neither valid, or with the never-returns fault, the board
// stays off the bus.
//
// The reconfigured FPGA starts afresh: its registers and interrupt state are
// at power-on values and its PCI configuration has lost the BAR and command
// settings, which the driver restores.
#pragma once

#include "platform/board/board_state.h"

namespace plat::board {

inline constexpr std::uint32_t kRegFpgaState = 0x10008;
inline constexpr std::uint32_t kFpgaStateBackup = 0x80000000;

// With the board's lock held: true while a reload hides the board; a reload
// whose time is over is completed here.
bool flash_reload_hides(Board& board);

// The FPGA takes `design` (as the configuration ports would leave it) and
// reports whether it came from the backup.
void board_fpga_configured(Board& board, const BitstreamDesign& design, bool from_backup);

}  // namespace plat::board
