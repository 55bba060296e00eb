// Boards set up before the kernel host starts: what a board's main EEPROM
// holds and which option bits its firmware carries (platform/board/board_startup.h).
// Call before KernelHostProcess starts the boards; board `index` is the
// index-th --board of the host.
#pragma once

#include <string>

#include "platform/board/board_startup.h"

namespace plat::testing {

// The factory start-up of board `index` of `model` (an unknown model: the "FolvantX4Full" one).
plat::board::BoardStartup factory_startup(const std::string& model, int index);

// Writes it into the current machine (PLAT_MACHINE); false for an unknown
// model or a file that cannot be written.
bool preset_board(const std::string& model, int index, const plat::board::BoardStartup& startup);

}  // namespace plat::testing
