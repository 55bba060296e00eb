// The board's EEPROMs and its I2C bus as the board library offers them: the
// six I2C exports (one register-addressed read or write of any device, sent
// to the driver), and the EEPROM operations over the four positions, whose
// copies live in the board's entry of the shared board table.
#pragma once

#include <cstdint>

#include "driver/user/Pardow.h"

inline constexpr std::uint32_t YAT_EEPROM_POSITIONS = 4;
inline constexpr std::uint32_t YAT_EEPROM_PAGE_BYTES = 8;  // a device write never crosses one
inline constexpr std::uint8_t YAT_EEPROM_SIGNATURE = 0xA5;
inline constexpr std::uint32_t YAT_EEPROM_EXTENSION_OFFSET = 12;
inline constexpr std::uint8_t YAT_EEPROM_NO_XIO = 0x10;

PARDOW_API QelHwStatus Yat_I2C_ReadDataReg(std::uint32_t board, std::uint8_t device, std::uint8_t reg,
                                           void* buffer, std::uint32_t count, std::uint8_t mode);
PARDOW_API QelHwStatus Yat_I2C_ReadDataRegEx(std::uint32_t board, std::uint8_t bus, std::uint8_t device,
                                             std::uint8_t reg, void* buffer, std::uint32_t count,
                                             std::uint8_t mode);
PARDOW_API QelHwStatus Yat_I2C_WriteDataReg(std::uint32_t board, std::uint8_t device, std::uint8_t reg,
                                            const void* buffer, std::uint32_t count, std::uint8_t mode);
PARDOW_API QelHwStatus Yat_I2C_WriteDataRegEx(std::uint32_t board, std::uint8_t bus, std::uint8_t device,
                                              std::uint8_t reg, const void* buffer, std::uint32_t count,
                                              std::uint8_t mode);
PARDOW_API QelHwStatus Yat_I2C_WriteDataBlock(std::uint32_t board, std::uint8_t device, const void* pairs,
                                              std::uint32_t pairCount, std::uint8_t mode);
PARDOW_API QelHwStatus Yat_I2C_WriteDataBlockEx(std::uint32_t board, std::uint8_t bus, std::uint8_t device,
                                                const void* pairs, std::uint32_t pairCount, std::uint8_t mode);

// The read with its status line left out when quiet (probing a device that may be absent).
QelHwStatus YatI2cRead(std::uint32_t board, std::uint8_t bus, std::uint8_t device, std::uint8_t reg, void* buffer,
                       std::uint32_t count, std::uint8_t mode, bool quiet);

// EEPROM operations (the first four are slots 0 to 3 of the extended interface).
QelHwStatus Yat_Eeprom_GetInfo(std::uint32_t board, std::uint32_t index, void* buffer, std::uint32_t size);
QelHwStatus Yat_Eeprom_SetInfo(std::uint32_t board, std::uint32_t index, const void* data, std::uint32_t size);
QelHwStatus Yat_Eeprom_Read(std::uint32_t board, std::uint32_t index, std::uint32_t offset, void* buffer,
                            std::uint32_t count);
QelHwStatus Yat_Eeprom_WriteData(std::uint32_t board, std::uint32_t index, std::uint32_t offset, const void* data,
                                 std::uint32_t count);
QelHwStatus Yat_Eeprom_Init(std::uint32_t board);
QelHwStatus Yat_Eeprom_I2C_IndexToAddr(std::uint32_t index, std::uint32_t* address);
QelHwStatus Yat_Eeprom_ReadEx(std::uint32_t board, std::uint32_t index, std::uint32_t offset, void* buffer,
                              std::uint32_t count, std::uint8_t quiet);
QelHwStatus Yat_Eeprom_ReadData(std::uint32_t board, std::uint8_t device, std::uint32_t offset, void* buffer,
                                std::uint32_t count, std::uint8_t quiet);
QelHwStatus EepromWriteData(std::uint32_t board, std::uint8_t device, std::uint32_t offset, const void* data,
                            std::uint32_t count);
