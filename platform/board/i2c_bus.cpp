#include "platform/board/i2c_bus.h"

#include <cstdio>

#include "platform/board/eeprom_images.h"

namespace plat::board {

namespace {

constexpr std::array<std::uint8_t, kI2cEepromCount> kAddresses{kEepromMain, kEepromSecond, kEepromDaughter,
                                                              kEepromFourth};

template <typename Event>
void for_each_eeprom(I2cBus& bus, Event event) {
  for (EepromDevice& device : bus.eeproms) event(device);
}

void clock_falls(I2cBus& bus) {
  for_each_eeprom(bus, [](EepromDevice& device) { eeprom_on_clock_fall(device); });
}

void clock_rises(I2cBus& bus) {
  const bool data = i2c_data_level(bus);
  for_each_eeprom(bus, [data](EepromDevice& device) { eeprom_on_clock_rise(device, data); });
}

// The master moves the data line; with the clock high that is a condition.
void move_data(I2cBus& bus, bool release) {
  const bool before = i2c_data_level(bus);
  bus.master_data = release;
  const bool after = i2c_data_level(bus);
  if (!i2c_clock_level(bus) || before == after) return;
  if (before) {
    for_each_eeprom(bus, [](EepromDevice& device) { eeprom_on_start(device); });
  } else {
    for_each_eeprom(bus, [](EepromDevice& device) { eeprom_on_stop(device); });
  }
}

void move_clock(I2cBus& bus, bool release) {
  const bool before = i2c_clock_level(bus);
  bus.master_clock = release;
  const bool after = i2c_clock_level(bus);
  if (before && !after) clock_falls(bus);
  if (!before && after) clock_rises(bus);
}

}  // namespace

std::string i2c_eeprom_file(const std::string& dir, std::uint8_t address) {
  char name[32];
  std::snprintf(name, sizeof name, "/eeprom-%02X.bin", address);
  return dir + name;
}

void i2c_bus_open(I2cBus& bus, std::uint16_t model_code, int board_index, const std::string& dir) {
  bus = I2cBus{};
  for (std::size_t i = 0; i < kI2cEepromCount; ++i) {
    const std::uint8_t address = kAddresses[i];
    eeprom_open(bus.eeproms[i], address, eeprom_default_image(address, model_code, board_index),
                dir.empty() ? std::string() : i2c_eeprom_file(dir, address), board_index);
  }
  // The daughter board is an option a board is built without.
  i2c_bus_eeprom(bus, kEepromDaughter)->present = false;
}

bool i2c_data_level(const I2cBus& bus) {
  if (!bus.master_data) return false;
  for (const EepromDevice& device : bus.eeproms)
    if (device.drives_low) return false;
  return true;
}

bool i2c_clock_level(const I2cBus& bus) { return bus.master_clock && !bus.clock_held_low; }

bool i2c_bus_read(const I2cBus& bus, std::uint32_t offset, std::uint32_t* value) {
  if (offset != kRegI2c) return false;
  std::uint32_t word = 0;
  if (bus.master_data) word |= kI2cDataRelease;
  if (bus.master_clock) word |= kI2cClockRelease;
  if (i2c_data_level(bus)) word |= kI2cDataLevel;
  if (i2c_clock_level(bus)) word |= kI2cClockLevel;
  *value = word;
  return true;
}

bool i2c_bus_write(I2cBus& bus, std::uint32_t offset, std::uint32_t value) {
  if (offset != kRegI2c) return false;
  const bool data = (value & kI2cDataRelease) != 0;
  const bool clock = (value & kI2cClockRelease) != 0;
  if (!clock) {
    move_clock(bus, clock);
    move_data(bus, data);
  } else {
    move_data(bus, data);
    move_clock(bus, clock);
  }
  return true;
}

EepromDevice* i2c_bus_eeprom(I2cBus& bus, std::uint8_t address) {
  for (EepromDevice& device : bus.eeproms)
    if (device.address == address) return &device;
  return nullptr;
}

void i2c_bus_hold_clock(I2cBus& bus, bool held) {
  const bool before = i2c_clock_level(bus);
  bus.clock_held_low = held;
  const bool after = i2c_clock_level(bus);
  if (before && !after) clock_falls(bus);
  if (!before && after) clock_rises(bus);
}

}  // namespace plat::board
