// Whole transfers with one device on a board's I2C bus, and the board EEPROM
// image the driver keeps. Each transfer is one request record, allocated per
// transfer with its data right behind it, run whole inside the board's
// interrupt synchronisation while the board's EEPROM mutex and then its I2C
// mutex are held.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatExtensions.h"

inline constexpr std::uint8_t kYatEepromDevice = 0xA0;
inline constexpr std::uint8_t kYatEepromMarker = 0xA5;
inline constexpr std::uint32_t kYatEepromImageBytes = 256;

enum : std::uint32_t { kYatI2cRead = 0, kYatI2cWrite = 1, kYatI2cReset = 2 };

struct YatI2cTransfer {
  std::uint32_t size;  // sizeof(YatI2cTransfer)
  YatBoardExtension* board;
  std::uint32_t operation;
  std::uint8_t bus;            // carried, not used by the bus routines
  std::uint8_t deviceAddress;  // 8-bit form, bit 0 clear
  std::uint8_t subAddress;
  std::uint32_t count;
  std::uint8_t subAddressFlag;  // 1: the sub-address is sent first
  std::uint8_t* data;
};
static_assert(sizeof(YatI2cTransfer) == 40);
static_assert(offsetof(YatI2cTransfer, board) == 8);
static_assert(offsetof(YatI2cTransfer, operation) == 16);
static_assert(offsetof(YatI2cTransfer, deviceAddress) == 21);
static_assert(offsetof(YatI2cTransfer, count) == 24);
static_assert(offsetof(YatI2cTransfer, subAddressFlag) == 28);
static_assert(offsetof(YatI2cTransfer, data) == 32);

// Success flags. `data` is kernel memory of `count` bytes; a read needs a count of at least 1.
bool I2C_Device_WriteEx(YatBoardExtension* board, std::uint8_t bus, std::uint8_t deviceAddress,
                        std::uint8_t subAddress, const std::uint8_t* data, std::uint32_t count,
                        std::uint8_t subAddressFlag);
bool I2C_Device_ReadEx(YatBoardExtension* board, std::uint8_t bus, std::uint8_t deviceAddress,
                       std::uint8_t subAddress, std::uint8_t* destination, std::uint32_t count,
                       std::uint8_t subAddressFlag);
// The bus reset, as a transfer naming the device.
bool I2C_Device_ResetEx(YatBoardExtension* board, std::uint8_t bus, std::uint8_t deviceAddress);

// The board start-up's reset of the board EEPROM's bus.
bool Yat_Eeprom_ResetK(YatBoardExtension* board);
// Reads the board EEPROM's first page into the board extension: 0, or
// 0xC0000000 when the read failed. An image without its marker still loads.
QelHwStatus Yat_EepromInit(YatBoardExtension* board);
