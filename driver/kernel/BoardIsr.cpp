// The board's interrupt routine and DPC. Until the interrupt sources are
// decoded, an interrupt is claimed only by a board whose register space is
// mapped and whose master enable is set, and nothing sets the master enable.
#include "driver/kernel/YatBoard.h"

using namespace plat::kernel;

QelHwStatus BoardIsr(YatBoardExtension* board, DeviceObject*, void*) {
  if (board == nullptr || board->rangeCount == 0 || board->ranges[0].mapped == nullptr) return QELHW_ERROR_NO_INTERRUPT;
  if ((board->interruptMaskWord & 1u) == 0) return QELHW_ERROR_NO_INTERRUPT;
  return QELHW_ERROR_NO_INTERRUPT;
}

void YatMgrDpc(Dpc*, void*, void*, void*) {}

void YatSerialManagerCommand(YatBoardExtension*, void*, std::uint32_t) {}
