// The reload from flash (0x1000C bit 0): the FPGA drops off the bus while it
// reconfigures, so configuration space and registers answer all ones and
// writes are lost for the reload time (flash_port.h); then the design is
// taken from the main section, or from the backup section when the main one
// holds no valid image, in which case the FPGA state register 0x10008 shows
// bit 31. With neither valid, or with the never-returns fault, the board
// stays off the bus.
//
// The firmware id (0x400) and the option bits are those of the header in the
// booted section's slot (slot 1 main, slot 0 backup); a slot without a header
// leaves the design's own id and no options. Register 0x10008 also shows the
// PCI Express link code in bits 29-30 (the lane count halved: 2 for x4).
//
// The reconfigured FPGA starts afresh: its registers and interrupt state are
// at power-on values and its PCI configuration has lost the BAR and command
// settings, which the driver restores.
#pragma once

#include "platform/board/board_state.h"

namespace plat::board {

inline constexpr std::uint32_t kRegFpgaState = 0x10008;
inline constexpr std::uint32_t kFpgaStateBackup = 0x80000000;
inline constexpr std::uint32_t kFpgaStateLinkShift = 29;
inline constexpr std::uint32_t kFpgaStateLinkMask = 0x60000000;

// Power-on: the FPGA configures itself from flash as a reload would, without
// hiding the board. A flash with no valid image leaves the model's own
// design (a board that must still start, for the driver to reach its flash).
void board_boot_from_flash(Board& board);

// With the board's lock held: true while a reload hides the board; a reload
// whose time is over is completed here.
bool flash_reload_hides(Board& board);

// The FPGA takes `design` (as the configuration ports would leave it) and
// reports whether it came from the backup.
void board_fpga_configured(Board& board, const BitstreamDesign& design, bool from_backup);

}  // namespace plat::board
