// The flash's path to the driver, and the reload from flash, in BAR 0:
// - 0x1000C board configuration: bit 4 opens the flash port (the driver sets
//   it around each flash request), bit 0 written 1 reconfigures the board
//   from flash (flash_reload.h). Reads back as last written, bit 0 clear.
// - 0x10024: bits 0..23 are word-address bits 8..31 of the next cycle.
// - 0x10020 the bus cycle register. Written: bit 0 bus enable, bit 1 read
//   strobe, bit 2 write strobe, bit 3 reset line, bit 4 programming voltage,
//   bits 8..23 the data word, bits 24..31 word-address bits 0..7. A write
//   that raises the write strobe is one write cycle; one that raises the read
//   strobe latches the addressed word; raising the reset line resets the
//   device. Cycles need bus enable and the open port. Read: bits 0..6 as
//   written, bit 7 the ready line, bits 8..23 the last word read, bits
//   24..31 as written.
// The board decides nothing else: the command sequences are the device's
// (flash_device.h).
#pragma once

#include <cstdint>

#include "platform/board/flash_device.h"
#include "platform/board/flash_store.h"

namespace plat::board {

inline constexpr std::uint32_t kRegBoardConfig = 0x1000C;
inline constexpr std::uint32_t kRegFlashCycle = 0x10020;
inline constexpr std::uint32_t kRegFlashAddress = 0x10024;

inline constexpr std::uint32_t kBoardConfigReload = 0x01;
inline constexpr std::uint32_t kBoardConfigFlashPort = 0x10;

inline constexpr std::uint32_t kFlashBusEnable = 0x01;
inline constexpr std::uint32_t kFlashReadStrobe = 0x02;
inline constexpr std::uint32_t kFlashWriteStrobe = 0x04;
inline constexpr std::uint32_t kFlashResetLine = 0x08;
inline constexpr std::uint32_t kFlashProgrammingVoltage = 0x10;
inline constexpr std::uint32_t kFlashReady = 0x80;

struct FlashReloadState {
  bool running = false;
  FlashClock::time_point done_at{};
  std::uint32_t reload_ms = 100;  // how long configuration space answers all ones
  bool never_returns = false;     // fault knob
  bool from_backup = false;       // the last reload took the backup section
};

struct FlashBlock {
  FlashDevice device;
  FlashStore store;
  std::uint32_t board_config = 0;
  std::uint32_t cycle = 0;  // 0x10020 as last written
  std::uint32_t address_high = 0;
  std::uint16_t data_read = 0xFFFF;
  FlashReloadState reload;
};

// Register access; false for an offset that is not the block's.
bool flash_port_read(FlashBlock& block, std::uint32_t offset, std::uint32_t* value);
bool flash_port_write(FlashBlock& block, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
