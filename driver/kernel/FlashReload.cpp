// The board's reconfiguration from flash, and the flash identification of
// the board start-up.
#include "driver/kernel/BoardControl.h"
#include "driver/kernel/FlashMemory.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/registers.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegBoardConfig = 0x1000C;
constexpr std::uint32_t kReconfigure = 0x1;
constexpr std::int64_t kReconfigureMs = 2000;
constexpr std::uint32_t kComebackReads = 100;
constexpr std::int64_t kComebackPollMs = 10;
constexpr std::uint32_t kPciCommandOffset = 4;
constexpr std::uint32_t kNoDevice = 0xFFFFFFFF;
constexpr std::uint32_t kStartupIdentifier = 1;  // the device code

// Starts the reconfiguration unless a register access is running; register
// access stays off from here on.
QelHwStatus StartReconfiguration(YatBoardExtension* board, std::uint8_t* kept) {
  Irql old{};
  acquire_spin_lock(&board->reloadLock, &old);
  QelHwStatus status = QELHW_ERROR_RESOURCE_IN_USE;
  if (board->registers.accessesInProgress.load() == 0 && board->rangeCount > 0 && board->ranges[0].mapped != nullptr) {
    write_register32(board->ranges[0].mapped + kRegBoardConfig / 4, kReconfigure);
    memory_barrier();
    *kept = board->registers.accessEnabled.load();
    board->registers.accessEnabled = 0;
    status = QELHW_OK;
  }
  release_spin_lock(&board->reloadLock, old);
  return status;
}

}  // namespace

QelHwStatus ReloadDeviceFromFlash(YatBoardExtension* board, std::uint8_t* kept) {
  QelHwStatus status = StartReconfiguration(board, kept);
  if (status != QELHW_OK) return status;
  delay_execution(relative_milliseconds(kReconfigureMs));
  for (std::uint32_t read = 0; read < kComebackReads; ++read) {
    delay_execution(relative_milliseconds(kComebackPollMs));
    std::uint32_t word = kNoDevice;
    status = GDrv_ReadPciConfigurationSpace(board, &word, kPciCommandOffset, sizeof word);
    if (word != kNoDevice) return status;
  }
  STAVRO_LOG(kLogError, "%s: ReloadDeviceFromFlash %08X", static_cast<unsigned>(QELHW_ERROR_RESET_NEEDS_REBOOT));
  *kept = 0;
  return QELHW_ERROR_RESET_NEEDS_REBOOT;
}

QelHwStatus YatReloadFromFlash(YatBoardExtension* board, std::uint32_t, bool* accessAllowed) {
  std::uint8_t kept = 0;
  const QelHwStatus status = ReloadDeviceFromFlash(board, &kept);
  *accessAllowed = kept != 0;
  return status;
}

QelHwStatus YatStartupReadFlashId(YatBoardExtension* board) {
  wait_for_object(&board->flashMutex, nullptr);
  const QelHwStatus status = ReadFlashIdentifier(board, kStartupIdentifier, &board->flashId);
  release_mutex(&board->flashMutex);
  return status;
}
