// Connect and disconnect of this board's transfers: every source connected
// (internal buffers, the acquisition's stage, the host stages), the board
// transfer armed, the out-of-memory retries with a growing reserve; and the
// tear-down that gives back everything a connection made, exactly once.
#include <chrono>
#include <thread>

#include "driver/user/Pardow.h"
#include "driver/user/YatTransfer.h"
#include "qellib/QelLog.h"
#include "source/QelBuff/YatBoardBuffers.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatStages.h"

namespace {

constexpr std::uint32_t kReserveStep = 5;
constexpr std::uint32_t kLargestReserve = 55;
constexpr QelStatus kPixProNotServed = 0x5800046;

bool IsOutOfMemory(QelStatus status) { return (status & 0xFFu) == 0x47; }

QelStatus ConnectAcquisition(XferObject* xfer, XferSource* source) {
  for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next) {
    const std::uint32_t kind = group->first->kind;
    if (kind == kXferDestinationPixPro) return kPixProNotServed;
    if (kind == kXferDestinationServerBuffer) {
      if (const QelStatus s = XferYatConnectAcqToInternalBuffer(xfer, source, group); s != QEL_OK) return s;
    } else if (kind != kXferDestinationHostBuffer) {
      return kXferKindNotSupported;
    }
  }
  for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next) {
    if (group->first->kind != kXferDestinationHostBuffer) continue;
    if (const QelStatus s = XferYatConnectInternalToHost(xfer, source, group); s != QEL_OK) return s;
  }
  return QEL_OK;
}

QelStatus ConnectSources(XferObject* xfer, std::uint32_t reservePercent) {
  XferRecord& record = *xfer->record;
  if (XferYatIsAcquisition(XferSourceHandleOf(record.sources)))
    for (XferSource* source = record.sources; source != nullptr; source = source->next)
      if (XferYatIsAcquisition(XferSourceHandleOf(source)))
        if (const QelStatus s = XferYatCheckAcqToHost(xfer, source, reservePercent); s != QEL_OK) return s;
  for (XferSource* source = record.sources; source != nullptr; source = source->next) {
    const QelHandle* handle = XferSourceHandleOf(source);
    if (HandleIsPixPro(handle)) return kPixProNotServed;  // no pixel-processor module on this board
    if (!XferYatIsAcquisition(handle)) return kXferKindNotSupported;
    if (const QelStatus s = ConnectAcquisition(xfer, source); s != QEL_OK) return s;
  }
  return XferYatArm(xfer);
}

// One attempt; a failure leaves the transfer disconnected with its places given back.
QelStatus ConnectOnce(XferObject* xfer, std::uint32_t reservePercent) {
  const QelStatus status = ConnectSources(xfer, reservePercent);
  if (status == QEL_OK) return QEL_OK;
  XferYatDisconnect(xfer);
  return XferWithModule(status);
}

QelStatus MarkDevices(XferObject* xfer, std::uint8_t connected) {
  QelStatus result = QEL_OK;
  for (const XferBoardSlot& slot : xfer->record->board.slots) {
    if (slot.inUse == 0 || slot.source == nullptr) continue;
    XferAcqDevice device{};
    QelStatus status = XferAcqDeviceOf(XferSourceHandleOf(slot.source), &device);
    if (status == QEL_OK) status = XferSetAcqConnected(device.board, device.device, connected);
    if (result == QEL_OK) result = status;
  }
  return result;
}

void DropWorker(std::uint32_t* held) {
  if (*held == 0) return;
  *held = 0;
  if (XferStopWorker() == 0) XferYatLog(__LINE__, "XferYatDisconnect: = 0x%x", kXferResource);
}

void CloseEvent(plat::Handle* event) {
  if (*event != plat::kNullHandle) plat::close_handle(*event);
  *event = plat::kNullHandle;
}

void FreeHostStage(XferHostStage& stage) {
  XferYatLinkHostStates(stage, false);
  delete[] stage.elements;
  delete[] stage.stateWords;
  CloseEvent(&stage.endEvent);
  stage = XferHostStage{};
}

constexpr std::uint32_t kRouteHostTransfers = 7;
constexpr std::uint32_t kRouteEndOfTransfer = 0x80000000;
constexpr std::uint32_t kGrabArmedOrRunning = 1u << 24;
constexpr auto kSettleBound = std::chrono::milliseconds(100);

// Before its transfer goes, the slot's acquisition is given up to 100 ms to
// leave the armed or running state (an abort ends it at the next frame
// boundary), so no frame is still on its way into the stages being freed.
void SettleAcquisition(std::uint32_t board, std::uint32_t connector) {
  const auto deadline = std::chrono::steady_clock::now() + kSettleBound;
  std::uint32_t status = 0;
  while (Yat_FPGA_GrabStatus(board, connector, &status) == QELHW_OK && (status & kGrabArmedOrRunning) != 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The board transfer goes with its route of end-of-transfer messages, which
// its initialisation made for the slot's camera.
void ReleaseBoardTransfer(XferBoardSlot& slot) {
  if (!Yat_Transfer_isValidHandle(&slot.transfer)) return;
  const std::uint32_t board = slot.transfer.board, camera = slot.desc.camera;
  SettleAcquisition(board, slot.connector);
  Yat_Transfer_ReleaseHandle(&slot.transfer);
  Yat_Event_UnRoute(board, camera, kRouteHostTransfers, kRouteEndOfTransfer);
}

bool IsRunning(const XferObject* xfer, std::uint32_t n) { return (xfer->record->board.runningSlots & (1u << n)) != 0; }

}  // namespace

void XferYatLog(int line, const char* format, std::uint32_t value) {
  LogPutLog(kQelLogError, kXferYatLogFile, line, format, value);
}

void XferYatReleaseSlot(XferObject*, XferBoardSlot& slot) {
  DropWorker(&slot.workerHeld);
  ReleaseBoardTransfer(slot);
  FreeHostStage(slot.main);
  for (XferHostStage& further : slot.further) FreeHostStage(further);
  CloseEvent(&slot.endEvent);
  slot = XferBoardSlot{};
}

void XferYatReleaseStage(XferObject* xfer, InternalBufferStage& stage) {
  DropWorker(&stage.workerHeld);
  for (std::uint32_t n = 0; n < stage.count && stage.handles != nullptr; ++n) {
    if (stage.handles[n] == nullptr) continue;
    XferRemoveDstFromXfer(xfer, stage.handles[n]);
    if (const QelStatus status = YatBoardBufferFree(stage.handles[n]); status != QEL_OK)
      XferYatLog(__LINE__, "Yat_InternalBuffer_Free: = 0x%x", status);
  }
  delete[] stage.handles;
  delete[] stage.records;
  delete[] stage.elements;
  delete[] stage.windows;
  CloseEvent(&stage.event);
  stage = InternalBufferStage{};
}

QelStatus XferRemoveDstFromXfer(XferObject* xfer, const QelHandle* buffer) {
  if (xfer->record->sources == nullptr) {
    XferYatLog(__LINE__, "XferRemoveDstFromXfer: = 0x%x", kXferResource);
    return kXferResource;
  }
  for (XferSource* source = xfer->record->sources; source != nullptr; source = source->next)
    for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next)
      for (XferPair* pair = group->first; pair != nullptr; pair = pair->next)
        if (pair->destination.record == buffer->record && HandleIsBuffer(&pair->destination)) {
          XferRemovePair(xfer, source, group, pair);
          return QEL_OK;
        }
  return kXferNoPair;
}

QelStatus XferYatConnect(XferObject* xfer, XferSource*) {
  QelStatus status = ConnectOnce(xfer, 0);
  for (std::uint32_t reserve = kReserveStep; IsOutOfMemory(status) && reserve <= kLargestReserve;
       reserve += kReserveStep) {
    // The failed attempt gave its places back: they are taken again first.
    status = XferVerifyPairs(xfer);
    if (status != QEL_OK) break;
    xfer->record->connected = 1;
    status = ConnectOnce(xfer, reserve);
  }
  if (status != QEL_OK) return status;
  status = MarkDevices(xfer, 1);
  if (status != QEL_OK) {
    XferYatDisconnect(xfer);
    return XferWithModule(status);
  }
  return QEL_OK;
}

QelStatus XferYatDisconnect(XferObject* xfer) {
  XferRecord& record = *xfer->record;
  if (record.connected == 0) return QEL_OK;
  XferBoardState& board = record.board;
  const std::uint32_t boardIndex = XferYatBoardOf(xfer);
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    XferBoardSlot& slot = board.slots[n];
    // The worker lets go of the transfer before anything of the slot goes.
    XferSlotRegistryClear(boardIndex, n, &record);
    if (slot.inUse != 0 && IsRunning(xfer, n)) XferYatAbort(xfer);
    if (slot.inUse != 0) {
      XferAcqDevice device{};
      if (slot.source != nullptr && XferAcqDeviceOf(XferSourceHandleOf(slot.source), &device) == QEL_OK)
        XferSetAcqConnected(device.board, device.device, 0);
      XferYatReleaseSlot(xfer, slot);
    }
    if (board.stages[n].inUse != 0 || board.stages[n].count != 0) XferYatReleaseStage(xfer, board.stages[n]);
  }
  XferUnverifyPairs(xfer, nullptr, nullptr);
  record.connected = 0;
  return QEL_OK;
}
