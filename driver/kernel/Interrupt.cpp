#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

NtStatus ConnectBoardInterrupt(DeviceObject* device, YatManagerExtension* manager) {
  YatBoardExtension* board = BoardOf(device);
  return connect_interrupt(&board->interrupt, DrvIsr, device, &manager->sharedInterruptLock, board->interruptVector,
                           board->interruptLevel, manager->sharedSyncLevel, InterruptMode::kLevelSensitive, true,
                           board->interruptAffinity, false);
}

// Every board runs its interrupt routine at the one shared level: a board
// with a higher level lifts all those already connected.
NtStatus RaiseSharedLevel(YatManagerExtension* manager, Irql level) {
  manager->sharedSyncLevel = level;
  for (std::uint32_t slot = 0; slot < manager->boardCount && slot < YAT_MAX_BOARDS; ++slot) {
    DeviceObject* other = manager->boardSlots[slot];
    if (other == nullptr || BoardOf(other)->interrupt == nullptr) continue;
    disconnect_interrupt(BoardOf(other)->interrupt);
    BoardOf(other)->interrupt = nullptr;
    NtStatus status = ConnectBoardInterrupt(other, manager);
    if (!plat::nt_success(status)) {
      STAVRO_LOG(kLogError, "%s: DRVREGISTERINTERRUPT => Unable to re-connect interrupt %d [0x%08lx]",
                 static_cast<int>(BoardOf(other)->interruptVector), static_cast<unsigned long>(status));
      return status;
    }
  }
  return plat::kStatusSuccess;
}

}  // namespace

NtStatus DrvRegisterInterrupt(DeviceObject* device) {
  YatBoardExtension* board = BoardOf(device);
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  if (board->interruptLevel == 0) {
    STAVRO_LOG(kLogError, "%s: DRVREGISTERINTERRUPT => No interrupt has been assigned to this board");
    return plat::kStatusInvalidParameter;
  }
  initialize_dpc(&device->dpc, YatMgrDpc, device);
  set_dpc_importance(&device->dpc, DpcImportance::kHigh);
  if (board->interruptLevel > manager->sharedSyncLevel) {
    NtStatus status = RaiseSharedLevel(manager, board->interruptLevel);
    if (!plat::nt_success(status)) return status;
  }
  NtStatus status = ConnectBoardInterrupt(device, manager);
  if (!plat::nt_success(status)) {
    board->interrupt = nullptr;
    STAVRO_LOG(kLogError, "%s: DRVREGISTERINTERRUPT => Unable to connect interrupt %d [0x%08lx]",
               static_cast<int>(board->interruptVector), static_cast<unsigned long>(status));
  }
  return status;
}

bool DrvIsr(InterruptObject*, void* context) {
  auto* device = static_cast<DeviceObject*>(context);
  return BoardIsr(BoardOf(device), device, nullptr) == QELHW_OK;
}
