// For tests and tools: a board's EEPROMs and the faults of its I2C bus
// (i2c_bus.h). Addresses are the 8-bit forms 0xA0, 0xA2, 0xAA and 0xA4; any
// other address answers false.
#pragma once

#include <cstdint>
#include <span>

#include "platform/board/board.h"
#include "platform/board/eeprom_device.h"

namespace plat::board {

bool board_eeprom_peek(Board* board, std::uint8_t address, EepromImage* image);
// Replaces the contents (persisted), as a programmer on the bench would;
// bytes past the given ones read 0xFF.
bool board_eeprom_program(Board* board, std::uint8_t address, std::span<const std::uint8_t> bytes);
// Fits or removes the device (the daughter board's EEPROM is not fitted at first).
bool board_eeprom_set_present(Board* board, std::uint8_t address, bool present);
// Fault: the device is there but acknowledges nothing.
bool board_eeprom_set_no_acknowledge(Board* board, std::uint8_t address, bool on);
// Fault: a device holds the clock line low.
void board_i2c_hold_clock(Board* board, bool held);

}  // namespace plat::board
