// The flash as the driver reaches it: single bus cycles through BAR 0
// registers 0x10020 and 0x10024, the reset and programming-voltage lines,
// and the command sequences of the device. Every routine runs under the
// board's flash mutex with flash access on.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

// Word addresses of the command cycles.
inline constexpr std::uint32_t kFlashUnlockAddress1 = 0x555;
inline constexpr std::uint32_t kFlashUnlockAddress2 = 0x2AA;
inline constexpr std::uint32_t kFlashBlockWords = 0x8000;

// 0x1000C = 0x10, 0x10020 = 1; and back (0x10020 = 0, then 0x1000C = 0).
void FlashAccessOn(YatBoardExtension* board);
void FlashAccessOff(YatBoardExtension* board);

QelHwStatus WriteFlashCycle(YatBoardExtension* board, std::uint32_t wordAddress, std::uint16_t data);
std::uint16_t ReadFlashCycle(YatBoardExtension* board, std::uint32_t wordAddress);
QelHwStatus ResetFlash(YatBoardExtension* board);
QelHwStatus Enable12VFlash(YatBoardExtension* board);
QelHwStatus Disable12VFlash(YatBoardExtension* board);
// Reads the word until it holds `data` (at most 256 reads, 2 microseconds apart).
QelHwStatus CheckWriteFlash(YatBoardExtension* board, std::uint32_t wordAddress, std::uint16_t data);

// (0x555, AA), (0x2AA, 55).
QelHwStatus FlashUnlock(YatBoardExtension* board);
// Unlock, then `command` at 0x555.
QelHwStatus FlashCommand(YatBoardExtension* board, std::uint8_t command);
