#include <cstring>

#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/registers.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

// The interrupt count is a rate: it starts afresh every period.
void BoardTimerDpc(Dpc*, void* context, void*, void*) {
  auto* board = static_cast<YatBoardExtension*>(context);
  board->interruptCount = 0;
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  set_timer(&board->boardTimer, manager ? manager->boardTimerPeriod : kYatBoardTimerPeriod, 0, &board->boardTimerDpc);
}

void StopBoardTimer(YatBoardExtension* board) {
  cancel_timer(&board->boardTimer);
  remove_queued_dpc(&board->boardTimerDpc);
  // A DPC already running may have set the timer again.
  flush_queued_dpcs();
  cancel_timer(&board->boardTimer);
  remove_queued_dpc(&board->boardTimerDpc);
}

void UnmapRanges(YatBoardExtension* board) {
  for (std::uint32_t i = 0; i < board->rangeCount && i < kYatMaxRanges; ++i) {
    if (board->ranges[i].mapped != nullptr)
      unmap_io_space(const_cast<std::uint32_t*>(board->ranges[i].mapped), board->ranges[i].length);
    board->ranges[i] = {};
  }
  board->rangeCount = 0;
}

}  // namespace

NtStatus InitBoardExtension(DeviceObject* boardDevice, DeviceObject* controlDevice, std::uint32_t slot) {
  YatBoardExtension* board = BoardOf(boardDevice);
  std::memset(static_cast<void*>(board), 0, sizeof *board);
  board->managerDevice = controlDevice;
  board->kind = kYatBoardKind;
  board->boardSlot = slot;
  board->ownDevice = boardDevice;
  initialize_timer(&board->boardTimer, TimerType::kSynchronization);
  initialize_dpc(&board->boardTimerDpc, BoardTimerDpc, board);
  YatManagerExtension* manager = ManagerOf(controlDevice);
  set_timer(&board->boardTimer, manager->boardTimerPeriod, 0, &board->boardTimerDpc);
  return plat::kStatusSuccess;
}

// The board's own start-up (EEPROM, flash identification, resource manager)
// joins here once those parts exist; the start itself does not depend on it.
QelHwStatus BoardAddDevice(YatBoardExtension*) { return QELHW_OK; }

void CloseBoard(YatBoardExtension* board) {
  StopBoardTimer(board);
  if (board->interrupt != nullptr) disconnect_interrupt(board->interrupt);
  board->interrupt = nullptr;
  PutDmaAdapter(board);
  UnmapRanges(board);
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  if (manager != nullptr && (manager->traceFlags & kTraceLifeCycle)) {
    STAVRO_LOG(kLogTrace, "%s: CLOSEBOARD => Board(%d): offline", static_cast<int>(board->boardSlot));
  }
}
