// Requests whose cost grows with a count they carry: on-board memory moves
// through a 2 KiB window one board job at a time, I2C bytes are clocked bit
// by bit at the bus's pace, and flash words are cycled one by one. A
// megabyte of on-board memory costs seconds, a full I2C transfer tens of
// milliseconds, so a count above its bound is folded below it (count modulo
// bound + 1) before the request is sent. Counts the driver refuses outright
// (above `limit`) are left as they are, so their refusal stays in reach; the
// range checks against the end of a memory stay in reach through addresses
// near that end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

#include "driver/kernel/YatFlashRecords.h"
#include "driver/kernel/YatI2cRecords.h"
#include "driver/kernel/YatIoctl.h"

namespace request_fuzz {

struct SlowCount {
  std::uint32_t code;
  std::uint32_t wideOffset, narrowOffset;  // of the count in the input record of each caller width
  std::uint32_t bound;                     // the largest count sent as it is
  std::uint32_t limit;                     // larger counts are refused by the driver and left alone
};

inline constexpr std::uint32_t kNoLimit = std::numeric_limits<std::uint32_t>::max();
inline constexpr std::uint32_t kMemoryCountBound = 16 * 1024;  // eight window jobs and the ends
inline constexpr std::uint32_t kI2cCountBound = 8;
inline constexpr std::uint32_t kFlashCountBound = 4096;

inline constexpr SlowCount kSlowCounts[] = {
    {YAT_IOCTRL_WRITE_MEMORY, offsetof(YatIocMemoryIn, byteCount), offsetof(YatIocMemoryIn32, byteCount),
     kMemoryCountBound, kNoLimit},
    {YAT_IOCTRL_READ_MEMORY, offsetof(YatIocMemoryIn, byteCount), offsetof(YatIocMemoryIn32, byteCount),
     kMemoryCountBound, kNoLimit},
    {YAT_IOCTRL_FILL_MEMORY, offsetof(YatIocFillIn, byteCount), offsetof(YatIocFillIn32, byteCount),
     kMemoryCountBound, kNoLimit},
    {YAT_IOCTRL_I2C_WRITE, offsetof(YatI2cRequestIn, count), offsetof(YatI2cRequestIn32, count), kI2cCountBound,
     YAT_I2C_MAX_TRANSFER},
    {YAT_IOCTRL_I2C_READ, offsetof(YatI2cRequestIn, count), offsetof(YatI2cRequestIn32, count), kI2cCountBound,
     YAT_I2C_MAX_TRANSFER},
    {YAT_IOCTRL_FLASH_WRITE, offsetof(YatFlashTransferIn, count), offsetof(YatFlashTransferIn32, count),
     kFlashCountBound, kNoLimit},
    {YAT_IOCTRL_FLASH_READ, offsetof(YatFlashTransferIn, count), offsetof(YatFlashTransferIn32, count),
     kFlashCountBound, kNoLimit},
};

// The driver serves a code with its width bit clear as the same request with
// 32-bit records, whoever the caller.
inline constexpr std::uint32_t ServedCode(std::uint32_t code) { return code | YAT_IOCTRL_WIDTH_BIT; }
inline constexpr bool NarrowRecords(std::uint32_t code, bool narrowCaller) {
  return narrowCaller || (code & YAT_IOCTRL_WIDTH_BIT) == 0;
}

// Folds the count of a slow request in its input bytes (as the caller sent
// them); inputs too short to hold the count are left for the driver to refuse.
inline void FoldSlowCount(std::uint32_t code, bool narrowCaller, std::span<std::uint8_t> input) {
  for (const SlowCount& slow : kSlowCounts) {
    if (slow.code != ServedCode(code)) continue;
    const std::uint32_t at = NarrowRecords(code, narrowCaller) ? slow.narrowOffset : slow.wideOffset;
    if (input.size() < at + sizeof(std::uint32_t)) return;
    std::uint32_t count = 0;
    std::memcpy(&count, input.data() + at, sizeof count);
    if (count <= slow.bound || count > slow.limit) return;
    count %= slow.bound + 1;
    std::memcpy(input.data() + at, &count, sizeof count);
    return;
  }
}

// Requests whose cost is fixed and long whatever they carry: board resets
// (a 200 ms settle each), reloads, FPGA loads, and flash writes, erases and
// protection changes (12 V settles, whole-block erases). A program sends at
// most kHeavyPerProgram of them; later ones are skipped, neither sent nor
// counted, so that no program runs for minutes.
inline constexpr std::uint32_t kHeavyCodes[] = {
    YAT_IOCTRL_INIT_BOARD_MANAGER, YAT_IOCTRL_RESET_BOARD,   IOCTRL_RELOAD,           YAT_IOCTRL_LOAD_FPG,
    YAT_IOCTRL_UNLOAD_FPG,         YAT_IOCTRL_FLASH_WRITE,   YAT_IOCTRL_FLASH_ERASE,  YAT_IOCTRL_FLASH_PROTECT,
    YAT_IOCTRL_FLASH_UNPROTECT,
};
inline constexpr std::size_t kHeavyPerProgram = 2;

inline constexpr bool IsHeavy(std::uint32_t code) {
  for (const std::uint32_t heavy : kHeavyCodes)
    if (heavy == ServedCode(code)) return true;
  return false;
}

}  // namespace request_fuzz
