// The board's I2C bus: two open-drain lines that the driver drives by hand
// through one register, with the board's EEPROMs as slaves.
//
// Register 0x10000 (BAR 0):
// - bit 0 (write) data line: 1 releases it, 0 pulls it low;
// - bit 1 (write) clock line: 1 releases it, 0 pulls it low;
// - bit 2 (read) the data line's level; bit 3 (read) the clock line's level.
// Bits 0 and 1 read back as last written; every other bit reads 0 and is
// ignored when written. A line is high only while nobody pulls it low (the
// master, a slave, or the fault that holds the clock).
//
// One write may move both lines. The bus takes the change in the order that
// keeps the data stable around the clock's high phase: a falling clock falls
// before the data moves, a rising clock rises after it. So a data change is a
// start (falling) or stop (rising) condition only when the clock stays high.
//
// Slaves: EEPROMs at 0xA0 (main board), 0xA2, 0xAA (I/O daughter board, absent
// until a test fits it) and 0xA4, their contents persisted as
// "<dir>/eeprom-XX.bin" (XX the address in upper-case hex).
// Fault knob: the clock held low by a device (the clock line reads low
// whatever the master does, so the slaves see no edges).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/board/eeprom_device.h"

namespace plat::board {

inline constexpr std::uint32_t kRegI2c = 0x10000;
inline constexpr std::uint32_t kI2cDataRelease = 0x1;
inline constexpr std::uint32_t kI2cClockRelease = 0x2;
inline constexpr std::uint32_t kI2cDataLevel = 0x4;
inline constexpr std::uint32_t kI2cClockLevel = 0x8;
inline constexpr std::size_t kI2cEepromCount = 4;

struct I2cBus {
  bool master_data = true;   // released
  bool master_clock = true;  // released
  bool clock_held_low = false;
  std::array<EepromDevice, kI2cEepromCount> eeproms{};
};

// Opens the four EEPROMs: their persisted contents under `dir` (empty: none),
// or the model's default images.
void i2c_bus_open(I2cBus& bus, std::uint16_t model_code, int board_index, const std::string& dir);

// Register access; false for any offset but the bus register.
bool i2c_bus_read(const I2cBus& bus, std::uint32_t offset, std::uint32_t* value);
bool i2c_bus_write(I2cBus& bus, std::uint32_t offset, std::uint32_t value);

bool i2c_data_level(const I2cBus& bus);
bool i2c_clock_level(const I2cBus& bus);

// Null when no EEPROM position has that address.
EepromDevice* i2c_bus_eeprom(I2cBus& bus, std::uint8_t address);

// Holding the clock low freezes the slaves where they are; releasing it
// lets the master's level through again (a rising edge when it is high).
void i2c_bus_hold_clock(I2cBus& bus, bool held);

// "<dir>/eeprom-XX.bin".
std::string i2c_eeprom_file(const std::string& dir, std::uint8_t address);

}  // namespace plat::board
