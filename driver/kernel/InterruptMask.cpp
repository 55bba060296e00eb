#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/registers.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegInterruptMask = 0x42C;
constexpr std::uint32_t kRegDmaVersion = 0x10018;
constexpr std::uint32_t kMasterEnable = 0x1;

struct MaskChange {
  YatBoardExtension* board;
  std::uint32_t value;
  std::uint32_t mask;
};

bool ApplyMask(void* context) {
  auto* change = static_cast<MaskChange*>(context);
  YatBoardExtension* board = change->board;
  board->interruptMaskWord = (board->interruptMaskWord & ~change->mask) | (change->value & change->mask);
  if (board->rangeCount > 0 && board->ranges[0].mapped != nullptr) {
    write_register32(board->ranges[0].mapped + kRegInterruptMask / 4, board->interruptMaskWord);
    memory_barrier();
  }
  return true;
}

bool RunSynchronised(YatBoardExtension* board, SynchronizeRoutine routine, void* context) {
  if (board->interrupt != nullptr) return synchronize_with_interrupt(board->interrupt, routine, context);
  return routine(context);
}

}  // namespace

QelHwStatus SetInterruptMask(YatBoardExtension* board, std::uint32_t value, std::uint32_t mask) {
  MaskChange change{board, value, mask};
  RunSynchronised(board, ApplyMask, &change);
  ShadowRegisterWrite(board, kRegInterruptMask, board->interruptMaskWord);
  return QELHW_OK;
}

QelHwStatus EnableMasterInterrupt(YatBoardExtension* board) {
  std::uint32_t version = 0;
  QelHwStatus status = Yat_ReadReg(board, kRegDmaVersion, &version);
  if (status != QELHW_OK) {
    STAVRO_LOG(kLogError, "%s: Master Interrupt NOT Enabled. Configuration FPGA is out of date and must be updated.");
    return status;
  }
  return SetInterruptMask(board, kMasterEnable, kMasterEnable);
}

void DisableMasterInterrupt(YatBoardExtension* board) { SetInterruptMask(board, 0, kMasterEnable); }

void StopInterruptSources(YatBoardExtension* board, std::uint32_t* savedMask) {
  *savedMask = board->interruptMaskWord;
  SetInterruptMask(board, 0, 0xFFFFFFFF);
  // The routine has run its course under the synchronisation; its DPC may still be queued.
  flush_queued_dpcs();
}

void RestoreInterruptSources(YatBoardExtension* board, std::uint32_t savedMask) {
  SetInterruptMask(board, savedMask, 0xFFFFFFFF);
}
