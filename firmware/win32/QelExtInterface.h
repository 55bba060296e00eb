// The board library's extended interface as the server driver reaches it: a
// copy of the 15-slot table taken at instance open, and one wrapper per slot
// that answers 70 for an empty slot and translates the board status of a
// filled one. The table is written once at open and only read afterwards.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

inline constexpr QelStatus kExtSlotEmpty = 70;

// Copies the board library's table (120 bytes); always true.
bool BindExtendedInterface();
// Forgets the copy (instance close): every wrapper answers 70 again.
void UnbindExtendedInterface();

QelStatus ExtEepromGetInfo(std::uint32_t board, std::uint32_t page, void* block, std::uint32_t size);
QelStatus ExtEepromSetInfo(std::uint32_t board, std::uint32_t page, const void* block, std::uint32_t size);
QelStatus ExtEepromRead(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, void* bytes,
                        std::uint32_t count);
QelStatus ExtEepromWrite(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, const void* bytes,
                         std::uint32_t count);
QelStatus ExtFlashRead(std::uint32_t board, std::uint32_t section, std::uint32_t offset, void* bytes,
                       std::uint32_t count);
QelStatus ExtFlashWrite(std::uint32_t board, std::uint32_t section, std::uint32_t offset, const void* bytes,
                        std::uint32_t count);
QelStatus ExtSlot8(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d);
QelStatus ExtSlot9(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d);
QelStatus ExtFirmwareGetVersionInfo(std::uint32_t board, std::uint32_t section, std::uint32_t* versionWord,
                                    std::uint8_t* data, std::uint32_t size, std::uint32_t* dataSize);
QelStatus ExtFirmwareGetName(std::uint32_t board, std::uint32_t section, char* name, std::uint32_t size);
QelStatus ExtGetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                          std::uint32_t size);
QelStatus ExtSetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                          std::uint32_t size);
QelStatus ExtSlot14(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d);
