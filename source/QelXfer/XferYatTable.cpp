// This board's transfer table, and its run entries: abort and the cycle
// modes act on the armed board transfer here; starting, stopping and
// waiting for a grab belong to the board run, which this build does not
// serve yet (they answer "not supported").
#include "driver/user/YatTransfer.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelXfer/XferDriverTable.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"

namespace {

bool HasElements(const XferHostStage& stage) { return stage.elements != nullptr && stage.elementCount != 0; }

bool ModePossible(std::uint32_t mode) {
  const std::uint32_t m = mode & 0xFFFFu;
  return m == 0 || m == 2 || m == 3 || m == 5;
}

}  // namespace

QelStatus XferYatStart(XferObject*, std::int32_t) { return kXferNotSupported; }
QelStatus XferYatStop(XferObject*) { return kXferNotSupported; }
QelStatus XferYatWait(XferObject*, std::uint32_t) { return kXferNotSupported; }

QelStatus XferYatAbort(XferObject* xfer) {
  XferBoardState& board = xfer->record->board;
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    XferBoardSlot& slot = board.slots[n];
    if (slot.inUse == 0) continue;
    board.stopping = 1;
    slot.main.stateWord = 0;
    for (XferHostStage& stage : slot.further) stage.stateWord = 0;
    if (HasElements(slot.main) && Yat_Transfer_isValidHandle(&slot.transfer)) {
      const QelHwStatus status = Yat_DMA_AbortTransfer(&slot.transfer);
      if (status != QELHW_OK) return static_cast<QelStatus>(status) | kXferModule;
    }
    board.runningSlots &= ~(1u << n);
    slot.runningStages = 0;
  }
  return QEL_OK;
}

bool XferYatIsCycleModeSupported(XferObject* xfer, std::uint32_t mode) {
  if (!ModePossible(mode)) return false;
  XferRecord& record = *xfer->record;
  if (record.connected == 0) return true;
  if (record.board.runningSlots != 0) return false;
  for (XferBoardSlot& slot : record.board.slots) {
    if (slot.inUse == 0 || !HasElements(slot.main) || slot.main.group != record.currentGroup) continue;
    if (Yat_DMA_SetCycleMode(&slot.transfer, ConvDmaCycleModeToHw(mode & 0xFFFFu)) != QELHW_OK) return false;
  }
  return true;
}

const XferDriverTable& XferYatDriverTable() {
  static const XferDriverTable table{
      XferYatInit,         XferYatFree,        XferYatGetDefaultPrm, XferYatCheckSource, XferYatAddPairHook,
      XferYatVerifyPair,   XferYatUnverifyPair, XferYatCheckPairDesc, XferYatInitPairPrms, XferYatConnect,
      XferYatDisconnect,   XferYatStart,       XferYatStop,          XferYatAbort,       XferYatWait,
      XferYatIsCycleModeSupported, XferYatAddDestination};
  return table;
}
