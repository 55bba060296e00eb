// Block protection of the flash: persistent per-block protection bits, or
// legacy groups changed under the programming voltage (blocks 0..3 and
// 60..63 alone, the others by four). The scheme is learned from identifier
// word 3 (or query word 73) once per board.
#include <array>

#include "driver/kernel/FlashBus.h"
#include "driver/kernel/FlashMemory.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kLegacyGroupBlocks = 4;
constexpr std::uint32_t kProtectAttempts = 25;
constexpr std::uint32_t kUnprotectAttempts = 1000;
constexpr std::uint32_t kLockPolls = 50;
constexpr std::uint32_t kLockPollMicroseconds = 4;
constexpr std::uint32_t kEraseAllPolls = 280;
constexpr std::int64_t kEraseAllPollMs = 25;
constexpr std::uint32_t kProtectPulseMicroseconds = 150;
constexpr std::int64_t kUnprotectPulseMs = 15;

bool SingleBlockGroup(std::uint32_t block) { return block < 4 || block >= kFlashBlockCount - 4; }

std::uint32_t GroupFirstBlock(std::uint32_t block) {
  return SingleBlockGroup(block) ? block : block / kLegacyGroupBlocks * kLegacyGroupBlocks;
}

std::uint32_t GroupByteAddress(std::uint32_t block) {
  return SingleBlockGroup(block) ? block * 0x10000 : block / kLegacyGroupBlocks * 0x40000;
}

// The next block of the range that starts a unit: each block, or each group once.
std::uint32_t NextUnit(bool persistent, std::uint32_t block) {
  if (persistent || SingleBlockGroup(block)) return block + 1;
  return GroupFirstBlock(block) + kLegacyGroupBlocks;
}

QelHwStatus LearnScheme(YatBoardExtension* board, bool* persistent) {
  if (board->flashIdWord3 == 0) {
    std::uint16_t word = 0;
    const QelHwStatus status = ReadFlashIdentifierWord(board, 3, &word);
    if (status != QELHW_OK) return status;
    board->flashIdWord3 = word;
    if (word == 26 || word == 10) {
      board->flashPersistent = 1;
    } else if (word == 25 || word == 9 || word == 24 || word == 8) {
      board->flashPersistent = 0;
    } else {
      std::uint16_t query = 0;
      const QelHwStatus queried = ReadFlashIdentifierWord(board, 73, &query);
      if (queried != QELHW_OK) return queried;
      board->flashPersistent = query == 8 ? 1 : 0;
    }
  }
  *persistent = board->flashPersistent != 0;
  return QELHW_OK;
}

QelHwStatus ReadProtection(YatBoardExtension* board, std::uint32_t block, bool persistent, bool* locked) {
  const std::uint32_t address = persistent ? block * 0x10000 : GroupByteAddress(block);
  const QelHwStatus status = FlashCommand(board, 0x90);
  if (status != QELHW_OK) return status;
  *locked = ReadFlashCycle(board, (address | 4) / 2) != 0;
  return QELHW_OK;
}

QelHwStatus ExitCommandMode(YatBoardExtension* board) {
  QelHwStatus status = WriteFlashCycle(board, 0, 0x90);
  if (status == QELHW_OK) status = WriteFlashCycle(board, 0, 0);
  return status;
}

QelHwStatus LockBlockBit(YatBoardExtension* board, std::uint32_t block) {
  const std::uint32_t start = block * kFlashBlockWords;
  QelHwStatus status = WriteFlashCycle(board, 0, 0xA0);
  if (status == QELHW_OK) status = WriteFlashCycle(board, start, 0);
  if (status != QELHW_OK) return status;
  for (std::uint32_t poll = 0; poll < kLockPolls; ++poll) {
    if (ReadFlashCycle(board, start) == 0) return QELHW_OK;
    stall_execution(kLockPollMicroseconds);
  }
  STAVRO_LOG(kLogError, "%s: Error <_LockBlock_N> Unable to lock block: 0x%lx ",
             static_cast<unsigned long>(block) * 0x10000);
  return QELHW_ERROR_FLASH_WRITE;
}

QelHwStatus ProtectPersistent(YatBoardExtension* board, std::uint32_t first, std::uint32_t last) {
  QelHwStatus status = ResetFlash(board);
  if (status == QELHW_OK) status = FlashCommand(board, 0xC0);
  if (status != QELHW_OK) return status;
  for (std::uint32_t block = first; block <= last && status == QELHW_OK; ++block) status = LockBlockBit(board, block);
  const QelHwStatus exited = ExitCommandMode(board);
  return status == QELHW_OK ? exited : status;
}

QelHwStatus ProtectGroup(YatBoardExtension* board, std::uint32_t block) {
  const std::uint32_t g = (GroupByteAddress(block) | 4) / 2;
  for (std::uint32_t attempt = 0; attempt < kProtectAttempts; ++attempt) {
    QelHwStatus status = WriteFlashCycle(board, g, 0x60);
    if (status != QELHW_OK) return status;
    stall_execution(kProtectPulseMicroseconds);
    status = WriteFlashCycle(board, g, 0x40);
    if (status != QELHW_OK) return status;
    if (ReadFlashCycle(board, g) == 1) return QELHW_OK;
  }
  return QELHW_ERROR_FLASH_WRITE;
}

QelHwStatus UnprotectGroup(YatBoardExtension* board, std::uint32_t block) {
  const std::uint32_t u = (GroupByteAddress(block) | 0x84) / 2;
  for (std::uint32_t attempt = 0; attempt < kUnprotectAttempts; ++attempt) {
    QelHwStatus status = WriteFlashCycle(board, u, 0x40);
    if (status != QELHW_OK) return status;
    if (ReadFlashCycle(board, u) == 0) return QELHW_OK;
    status = WriteFlashCycle(board, u, 0x60);
    if (status != QELHW_OK) return status;
    delay_execution(relative_milliseconds(kUnprotectPulseMs));
  }
  return QELHW_ERROR_FLASH_WRITE;
}

// Runs `change` on each group of the range once, under the programming voltage.
QelHwStatus ForLegacyGroups(YatBoardExtension* board, std::uint32_t first, std::uint32_t last,
                            const std::array<bool, kFlashBlockCount>* only,
                            QelHwStatus (*change)(YatBoardExtension*, std::uint32_t)) {
  QelHwStatus status = ResetFlash(board);
  if (status == QELHW_OK) status = Enable12VFlash(board);
  if (status == QELHW_OK) status = WriteFlashCycle(board, 0, 0x60);
  for (std::uint32_t block = first; block <= last && status == QELHW_OK; block = NextUnit(false, block)) {
    if (only == nullptr || (*only)[GroupFirstBlock(block)]) status = change(board, block);
  }
  const QelHwStatus off = Disable12VFlash(board);
  const QelHwStatus reset = ResetFlash(board);
  if (status == QELHW_OK) status = off;
  return status == QELHW_OK ? reset : status;
}

bool RangeValid(std::uint32_t first, std::uint32_t last) { return first > last || last < kFlashBlockCount; }

}  // namespace

QelHwStatus IsFlashBlockProtected(YatBoardExtension* board, std::uint32_t first, std::uint32_t last,
                                  std::uint32_t* result) {
  *result = 1;
  if (first > last) return QELHW_OK;
  if (!RangeValid(first, last)) return QELHW_ERROR_PARAMETER_INVALID;
  bool persistent = false;
  QelHwStatus status = LearnScheme(board, &persistent);
  std::uint32_t locked = 0, free = 0;
  for (std::uint32_t block = first; block <= last && status == QELHW_OK; block = NextUnit(persistent, block)) {
    bool on = false;
    status = ReadProtection(board, block, persistent, &on);
    ++(on ? locked : free);
  }
  if (free != 0) *result = 0;
  const QelHwStatus reset = ResetFlash(board);
  if (status != QELHW_OK) return status;
  if (locked != 0 && free != 0) {
    if (!(first == 0 && last == kFlashBlockCount - 1))
      STAVRO_LOG(kLogError, "%s: Error <IsFlashBlockProtected> Blocks[%d : %d] are not all locked or unlocked.",
                 static_cast<int>(first), static_cast<int>(last));
    return QELHW_ERROR_RESOURCE_TOO_LARGE;
  }
  return reset;
}

QelHwStatus ProtectFlashBlocks(YatBoardExtension* board, std::uint32_t first, std::uint32_t last) {
  if (first > last) return QELHW_OK;
  if (!RangeValid(first, last)) return QELHW_ERROR_PARAMETER_INVALID;
  bool persistent = false;
  const QelHwStatus status = LearnScheme(board, &persistent);
  if (status != QELHW_OK) return status;
  return persistent ? ProtectPersistent(board, first, last) : ForLegacyGroups(board, first, last, nullptr, ProtectGroup);
}

namespace {

QelHwStatus EraseAllProtection(YatBoardExtension* board) {
  QelHwStatus status = ResetFlash(board);
  if (status == QELHW_OK) status = FlashCommand(board, 0xC0);
  if (status != QELHW_OK) return status;
  status = WriteFlashCycle(board, 0, 0x80);
  if (status == QELHW_OK) status = WriteFlashCycle(board, 0, 0x30);
  bool cleared = false;
  for (std::uint32_t poll = 0; poll < kEraseAllPolls && status == QELHW_OK && !cleared; ++poll) {
    cleared = ReadFlashCycle(board, 0) == 1;
    if (!cleared) delay_execution(relative_milliseconds(kEraseAllPollMs));
  }
  if (status == QELHW_OK && !cleared) {
    STAVRO_LOG(kLogError, "%s: Error <_UnlockBlock_N> Unable to unlock all blocks");
    status = QELHW_ERROR_FLASH_WRITE;
  }
  const QelHwStatus exited = ExitCommandMode(board);
  return status == QELHW_OK ? exited : status;
}

QelHwStatus UnlockLocked(YatBoardExtension* board, std::uint32_t first, std::uint32_t last) {
  bool persistent = false;
  QelHwStatus status = LearnScheme(board, &persistent);
  std::array<bool, kFlashBlockCount> stays{};  // protected now and outside the range
  for (std::uint32_t block = 0; block < kFlashBlockCount && status == QELHW_OK; block = NextUnit(persistent, block)) {
    bool on = false;
    status = ReadProtection(board, block, persistent, &on);
    const std::uint32_t end = persistent ? block : NextUnit(false, block) - 1;
    for (std::uint32_t b = block; b <= end; ++b) stays[b] = on && (b < first || b > last);
  }
  if (status == QELHW_OK) status = ProtectFlashBlocks(board, 0, kFlashBlockCount - 1);
  if (status != QELHW_OK) return status;
  if (persistent) {
    status = EraseAllProtection(board);
    if (status == QELHW_OK) status = ResetFlash(board);
    for (std::uint32_t block = 0; block < kFlashBlockCount && status == QELHW_OK; ++block)
      if (stays[block]) status = ProtectPersistent(board, block, block);
    return status;
  }
  std::array<bool, kFlashBlockCount> freed{};  // by a group's first block
  for (std::uint32_t block = 0; block < kFlashBlockCount; ++block)
    if (!stays[block]) freed[GroupFirstBlock(block)] = true;
  return ForLegacyGroups(board, 0, kFlashBlockCount - 1, &freed, UnprotectGroup);
}

}  // namespace

QelHwStatus _UnlockBlock_N(YatBoardExtension* board, std::uint32_t first, std::uint32_t last) {
  if (first > last) return QELHW_OK;
  if (!RangeValid(first, last)) return QELHW_ERROR_PARAMETER_INVALID;
  FlashAccessOn(board);
  const QelHwStatus status = UnlockLocked(board, first, last);
  FlashAccessOff(board);
  return status;
}
