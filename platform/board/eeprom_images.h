// What the board's EEPROMs hold when a machine first starts the board: the
// main board EEPROM (0xA0) describes the board model, the I/O daughter
// board's EEPROM (0xAA) carries its own signed image, and the two further
// positions (0xA2, 0xA4) are erased (all 0xFF), as they leave the factory.
//
// Main image fields (byte offsets, multi-byte fields little-endian): 0 the
// signature 0xA5; 1 template version; 2 drawing number; 4 issue; 5 revision;
// 6 vendor id; 8 ECO number; 10 CMI; 12 extension bits (0: the daughter board
// is probed); 13 and 18 serial numbers; 17 compatibility version; 30
// sub-template version; 32..36 FPGA part, speed and family; 38 board model
// (0x1001 Full, 0x1002 Dual; bit 1 gives the second serial port, bit 12
// restricts it to the two firmware designs); 41 and 49 the two memory banks
// in MB; 51 Camera Link chip speed; 84 default firmware; 86..89 and 98
// output and input defaults. Every other byte below 115 is 0, the rest 0xFF.
#pragma once

#include <cstdint>

#include "platform/board/eeprom_device.h"

namespace plat::board {

inline constexpr std::uint8_t kEepromMain = 0xA0;
inline constexpr std::uint8_t kEepromSecond = 0xA2;
inline constexpr std::uint8_t kEepromDaughter = 0xAA;
inline constexpr std::uint8_t kEepromFourth = 0xA4;
inline constexpr std::uint8_t kEepromSignature = 0xA5;

inline constexpr std::uint32_t kEepromModelOffset = 38;
inline constexpr std::uint32_t kEepromBank1Offset = 41;
inline constexpr std::uint32_t kEepromBank2Offset = 49;
inline constexpr std::uint16_t kDefaultBankMegabytes = 512;

// model_code: the board's model code (0x1001, 0x1002); board_index makes the
// serial numbers differ between boards of one machine.
EepromImage eeprom_default_image(std::uint8_t address, std::uint16_t model_code, int board_index);

// On-board memory the main image describes, in MB: the sum of the two banks
// when bank 1 is not 0, else 128.
std::uint32_t eeprom_memory_megabytes(const EepromImage& main_image);

}  // namespace plat::board
