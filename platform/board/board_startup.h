// What a board holds when a machine starts it, chosen by a test before the
// kernel host starts: the image of its main EEPROM (the board model code at
// byte 38, option bytes, memory banks, ...) and the option bits that the
// firmware headers of its flash carry (the firmware record's word at byte 72:
// bit 9, for one, makes the "Dual" board's firmware offer one camera). The
// board takes both from its folder of the machine directory, as it takes any
// persistent state, so writing them there before start-up is all it needs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/board/eeprom_device.h"
#include "platform/board/presets.h"

namespace plat::board {

struct BoardStartup {
  EepromImage main_eeprom{};
  std::uint16_t firmware_options = 0;
};

// What board `index` of `preset`'s model holds when it leaves the factory.
BoardStartup board_factory_startup(const BoardPreset& preset, int index);

// Writes the main EEPROM's file and a factory flash whose headers carry the
// options into `dir` (the board's folder); false when a file cannot be written.
bool board_store_startup(const std::string& dir, const BoardPreset& preset, const BoardStartup& startup);

}  // namespace plat::board
