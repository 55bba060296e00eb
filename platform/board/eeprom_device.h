// A 256-byte serial EEPROM as an I2C slave on the board's bus.
//
// It follows the bus the way a two-wire EEPROM does: it listens for a start
// condition, takes the 8-bit device address (bit 0 the read flag) on the
// rising clock edges, acknowledges its own address by pulling the data line
// low through the ninth clock, and then either
// - receives: the first byte sets the word address, every further byte goes
//   into the page buffer at the word address, which then advances and wraps
//   inside its 8-byte page (so a longer burst overwrites the page's start);
//   the stop condition commits the buffered bytes and begins the write cycle;
//   a start before the stop drops them;
// - or transmits: one byte per nine clocks from the word address, most
//   significant bit first, changing its output only while the clock is low;
//   the word address advances (wrapping at 256) after each byte; the master's
//   missing acknowledge ends the transfer.
// During the write cycle the device does not acknowledge its address, so a
// master finds out by polling when it may go on. The cycle is a deadline, not
// a thread: nothing is observable of it but the missing acknowledge, and the
// bytes are in place (and persisted) from its start.
//
// Knobs: an absent device never answers; a device with the "no acknowledge"
// fault is there but answers no address either.
#pragma once

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace plat::board {

inline constexpr std::size_t kEepromBytes = 256;
inline constexpr std::size_t kEepromPageBytes = 8;
inline constexpr std::chrono::microseconds kDefaultWriteCycle{1000};

using EepromImage = std::array<std::uint8_t, kEepromBytes>;

enum class EepromPhase : std::uint8_t {
  kIdle,       // waiting for a start
  kAddress,    // receiving the device address
  kReceive,    // receiving the word address, then data
  kTransmit,   // sending data
  kIgnore,     // not addressed, or the master ended the read: wait for a start or stop
};

struct EepromDevice {
  std::uint8_t address = 0;  // 8-bit form, read flag clear
  int board_index = -1;      // names the board in its log lines
  bool present = true;
  bool no_acknowledge = false;
  EepromImage memory{};
  std::string file;  // where the contents persist; empty: nowhere
  std::uint32_t accesses = 0;  // transfers it acknowledged its address for (tests read it)
  std::chrono::microseconds write_cycle = kDefaultWriteCycle;
  std::chrono::steady_clock::time_point busy_until{};

  // Bus side.
  EepromPhase phase = EepromPhase::kIdle;
  std::uint8_t shift = 0;       // the byte being received or sent
  std::uint8_t bits = 0;        // bits of it clocked so far
  bool ack_slot = false;        // inside the ninth clock of a byte
  bool read_request = false;    // the address byte asked for a read
  bool have_word_address = false;
  bool master_acknowledged = false;
  bool drives_low = false;      // its output on the data line
  std::uint8_t word_address = 0;
  EepromImage page{};
  std::bitset<kEepromBytes> page_filled;
  std::uint8_t write_start = 0;  // word address of the first buffered byte
};

// Contents from the file when it holds a whole image, else `initial` (then
// written to the file). An empty file name keeps the contents in memory only.
void eeprom_open(EepromDevice& device, std::uint8_t address, const EepromImage& initial, const std::string& file,
                 int board_index = -1);

// Bus conditions and clock edges, as the bus sees them on its lines.
void eeprom_on_start(EepromDevice& device);
void eeprom_on_stop(EepromDevice& device);
void eeprom_on_clock_rise(EepromDevice& device, bool data_level);
void eeprom_on_clock_fall(EepromDevice& device);

// For tests and tools: replaces the contents (persisted), as a programmer would.
void eeprom_replace(EepromDevice& device, std::span<const std::uint8_t> bytes);

}  // namespace plat::board
