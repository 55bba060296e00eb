#include "driver/kernel/FlashBus.h"

#include "driver/kernel/StavroLog.h"
#include "platform/kernel/registers.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegBoardConfig = 0x1000C;
constexpr std::uint32_t kRegPace = 0x10018;
constexpr std::uint32_t kRegCycle = 0x10020;
constexpr std::uint32_t kRegAddress = 0x10024;
constexpr std::uint32_t kFlashPortOn = 0x10;
constexpr std::uint32_t kBusEnable = 0x1;
constexpr std::uint32_t kReady = 0x80;
constexpr std::uint32_t kResetPolls = 50;
constexpr std::uint32_t kResetPollMicroseconds = 16;
constexpr std::uint32_t kCheckReads = 256;
constexpr std::uint32_t kCheckMicroseconds = 2;
constexpr std::int64_t kVoltageSettleMs = 10;
constexpr std::uint32_t kKindReadyAtReset = 2;
constexpr std::uint32_t kKindPolled = 1;

volatile std::uint32_t* Bar(YatBoardExtension* board) {
  return board->rangeCount > 0 ? board->ranges[0].mapped : nullptr;
}

// Without a mapped BAR every cycle reads all ones and writes go nowhere.
std::uint32_t Read(YatBoardExtension* board, std::uint32_t offset) {
  volatile std::uint32_t* bar = Bar(board);
  return bar == nullptr ? 0xFFFFFFFFu : read_register32(bar + offset / 4);
}

void Write(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value) {
  volatile std::uint32_t* bar = Bar(board);
  if (bar == nullptr) return;
  write_register32(bar + offset / 4, value);
  memory_barrier();
}

// Addresses the cycle: the high address bits, then two paced reads; answers
// the cycle register's current value.
std::uint32_t PrepareCycle(YatBoardExtension* board, std::uint32_t wordAddress) {
  Write(board, kRegAddress, wordAddress >> 8);
  Read(board, kRegPace);
  Read(board, kRegPace);
  return Read(board, kRegCycle);
}

QelHwStatus SwitchVoltage(YatBoardExtension* board, bool on, const char* failure) {
  if (Bar(board) == nullptr) {
    STAVRO_LOG(kLogError, failure);
    return QELHW_ERROR_RESOURCE_RANGE;
  }
  const std::uint32_t v = Read(board, kRegCycle);
  Write(board, kRegCycle, on ? (v & ~0x88u) | 0x10 : v & ~0x10u);
  delay_execution(relative_milliseconds(kVoltageSettleMs));
  return QELHW_OK;
}

}  // namespace

void FlashAccessOn(YatBoardExtension* board) {
  Write(board, kRegBoardConfig, kFlashPortOn);
  Write(board, kRegCycle, kBusEnable);
}

void FlashAccessOff(YatBoardExtension* board) {
  Write(board, kRegCycle, 0);
  Write(board, kRegBoardConfig, 0);
}

QelHwStatus WriteFlashCycle(YatBoardExtension* board, std::uint32_t wordAddress, std::uint16_t data) {
  if (Bar(board) == nullptr) {
    STAVRO_LOG(kLogError, "%s: WriteFlashCycle -> <WriteFlashCmd> failed ");
    return QELHW_ERROR_RESOURCE_RANGE;
  }
  const std::uint32_t v = PrepareCycle(board, wordAddress);
  const std::uint32_t value = (std::uint32_t{data} << 8) | (wordAddress << 24) | (v & 0x78);
  Write(board, kRegCycle, value | 0x85);
  Write(board, kRegCycle, value | 0x81);
  return QELHW_OK;
}

std::uint16_t ReadFlashCycle(YatBoardExtension* board, std::uint32_t wordAddress) {
  const std::uint32_t v = PrepareCycle(board, wordAddress);
  const std::uint32_t base = (v & 0x7C) | (wordAddress << 24);
  Write(board, kRegCycle, base | 3);
  const std::uint32_t word = (Read(board, kRegCycle) >> 8) & 0xFFFF;
  Write(board, kRegCycle, base | 1);
  return static_cast<std::uint16_t>(word);
}

QelHwStatus ResetFlash(YatBoardExtension* board) {
  const std::uint32_t v = Read(board, kRegCycle);
  Write(board, kRegCycle, (v & ~0x96u) | 9);
  Write(board, kRegCycle, (v & ~0x9Eu) | 1);
  if (board->flashInterfaceKind == 0)
    board->flashInterfaceKind = (Read(board, kRegCycle) & kReady) != 0 ? kKindReadyAtReset : kKindPolled;
  for (std::uint32_t poll = 0; poll < kResetPolls; ++poll) {
    if (board->flashInterfaceKind == kKindPolled && (Read(board, kRegCycle) & kReady) != 0) return QELHW_OK;
    stall_execution(kResetPollMicroseconds);
  }
  if (board->flashInterfaceKind == kKindReadyAtReset) return QELHW_OK;
  STAVRO_LOG(kLogError, "%s: Error <ResetFlash> Unable to reset");
  return QELHW_ERROR_FLASH_WRITE;
}

QelHwStatus Enable12VFlash(YatBoardExtension* board) {
  return SwitchVoltage(board, true, "%s: Enable12VFlash -> <WriteFlashCmd> failed ");
}

QelHwStatus Disable12VFlash(YatBoardExtension* board) {
  return SwitchVoltage(board, false, "%s: Disable12VFlash -> <WriteFlashCmd> failed ");
}

QelHwStatus CheckWriteFlash(YatBoardExtension* board, std::uint32_t wordAddress, std::uint16_t data) {
  std::uint16_t read = 0;
  for (std::uint32_t attempt = 0; attempt < kCheckReads; ++attempt) {
    read = ReadFlashCycle(board, wordAddress);
    if (read == data) return QELHW_OK;
    Read(board, kRegPace);
    stall_execution(kCheckMicroseconds);
  }
  STAVRO_LOG(kLogError, "%s: Error <CheckWriteFlash> Count overflow @[0x%08x],data[0x%04x],rd[0x%04x]",
             wordAddress * 2, data, read);
  return QELHW_ERROR_FLASH_WRITE;
}

QelHwStatus FlashUnlock(YatBoardExtension* board) {
  QelHwStatus status = WriteFlashCycle(board, kFlashUnlockAddress1, 0xAA);
  if (status == QELHW_OK) status = WriteFlashCycle(board, kFlashUnlockAddress2, 0x55);
  return status;
}

QelHwStatus FlashCommand(YatBoardExtension* board, std::uint8_t command) {
  QelHwStatus status = FlashUnlock(board);
  if (status == QELHW_OK) status = WriteFlashCycle(board, kFlashUnlockAddress1, command);
  return status;
}
