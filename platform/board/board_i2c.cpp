#include "platform/board/board_i2c.h"

#include "platform/board/board_state.h"

namespace plat::board {

bool board_eeprom_peek(Board* board, std::uint8_t address, EepromImage* image) {
  std::lock_guard guard(board->lock);
  const EepromDevice* device = i2c_bus_eeprom(board->i2c, address);
  if (device == nullptr) return false;
  *image = device->memory;
  return true;
}

bool board_eeprom_program(Board* board, std::uint8_t address, std::span<const std::uint8_t> bytes) {
  std::lock_guard guard(board->lock);
  EepromDevice* device = i2c_bus_eeprom(board->i2c, address);
  if (device == nullptr) return false;
  eeprom_replace(*device, bytes);
  return true;
}

bool board_eeprom_set_present(Board* board, std::uint8_t address, bool present) {
  std::lock_guard guard(board->lock);
  EepromDevice* device = i2c_bus_eeprom(board->i2c, address);
  if (device == nullptr) return false;
  device->present = present;
  return true;
}

bool board_eeprom_set_no_acknowledge(Board* board, std::uint8_t address, bool on) {
  std::lock_guard guard(board->lock);
  EepromDevice* device = i2c_bus_eeprom(board->i2c, address);
  if (device == nullptr) return false;
  device->no_acknowledge = on;
  return true;
}

void board_i2c_hold_clock(Board* board, bool held) {
  std::lock_guard guard(board->lock);
  i2c_bus_hold_clock(board->i2c, held);
}

}  // namespace plat::board
