#include "driver/kernel/BoardControl.h"

#include "driver/kernel/StavroLog.h"

QelHwStatus YatStartupReadFlashId(YatBoardExtension*) { return QELHW_ERROR_NOT_IMPLEMENTED; }
void YatStopBoardActivity(YatBoardExtension*) {}
QelHwStatus YatResetFpga(YatBoardExtension*) { return QELHW_OK; }

QelHwStatus YatReloadFromFlash(YatBoardExtension*, std::uint32_t, bool* accessAllowed) {
  *accessAllowed = false;
  return QELHW_ERROR_NOT_IMPLEMENTED;
}

void YatReleaseBoardMemory(YatBoardExtension*) {}
QelHwStatus CreateSerialPorts(YatBoardExtension*) { return QELHW_OK; }
QelHwStatus YatRemoveSerialPorts(YatBoardExtension*) { return QELHW_OK; }
void YatSerialIsr(YatBoardExtension*) {}
void YatLineEvents(YatBoardExtension*, std::uint32_t) {}

QelHwStatus DecodeInterruptMessages(YatBoardExtension* board, std::uint32_t event) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  if (manager != nullptr && (manager->traceFlags & kTraceEvents))
    STAVRO_LOG(kLogTrace, "%s: DecodeInterruptMessages => Board(%d) event %u", static_cast<int>(board->boardSlot), event);
  return QELHW_OK;
}
