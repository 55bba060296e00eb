// The flash operations of section 6 and of the board start-up. Each runs
// under the board's flash mutex; WriteFlash, ReadFlash and the identifier read
// switch flash access on and off themselves, the block routines expect it on.
// User data travels through the checked copies from and to the caller.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

inline constexpr std::uint32_t kFlashBytes = 0x400000;
inline constexpr std::uint32_t kFlashBlockCount = 64;

// Bytes from the caller's memory at `source` to flash at an even offset.
QelHwStatus WriteFlash(YatBoardExtension* board, std::uint64_t source, std::uint32_t offset, std::uint32_t count);
// Flash bytes at any offset into the caller's memory at `destination`.
QelHwStatus ReadFlash(YatBoardExtension* board, std::uint32_t offset, std::uint32_t count,
                      std::uint64_t destination);
QelHwStatus _EraseFlashBlock(YatBoardExtension* board, std::uint32_t block);
// Identifier word (index below 16) or query word (16 or more).
QelHwStatus ReadFlashIdentifier(YatBoardExtension* board, std::uint32_t index, std::uint32_t* word);
// The same with flash access already on.
QelHwStatus ReadFlashIdentifierWord(YatBoardExtension* board, std::uint32_t index, std::uint16_t* word);

// Protection (FlashProtect.cpp); first above last is an empty range.
QelHwStatus IsFlashBlockProtected(YatBoardExtension* board, std::uint32_t first, std::uint32_t last,
                                  std::uint32_t* result);
QelHwStatus ProtectFlashBlocks(YatBoardExtension* board, std::uint32_t first, std::uint32_t last);
QelHwStatus _UnlockBlock_N(YatBoardExtension* board, std::uint32_t first, std::uint32_t last);

// Reconfigures the board from flash (FlashReload.cpp): *kept receives the
// register-access flag, which stays cleared until the caller restores it.
QelHwStatus ReloadDeviceFromFlash(YatBoardExtension* board, std::uint8_t* kept);
