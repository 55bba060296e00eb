// The board run of a connected transfer: start per slot (the host DMA armed
// before the camera starts), stop at the end of a frame, abort, wait with the
// transfer's lock released, and the cycle modes.
#include <vector>

#include "driver/user/Pardow.h"
#include "driver/user/YatTransfer.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatRun.h"

namespace {

constexpr QelStatus kOwnedByAnother = 0x8701;
constexpr std::uint32_t kTimeBasePrm = 22;  // group value 0x160004

bool HasElements(const XferHostStage& stage) { return stage.elements != nullptr && stage.elementCount != 0; }
bool Running(const XferBoardState& board, std::uint32_t n) { return (board.runningSlots & (1u << n)) != 0; }

// The board's form of the counter time base.
std::uint32_t TimeBaseToHw(std::uint32_t value) {
  switch (value) {
    case 4: return 2;
    case 8: return 4;
    case 16: return 3;
    case 32: return 7;
    case 64: return 8;
    default: return 1;
  }
}

QelStatus CheckOwner(const XferObject* xfer) {
  for (const XferBoardSlot& slot : xfer->record->board.slots)
    if (slot.inUse != 0 && slot.owner != nullptr && slot.owner != xfer) return kOwnedByAnother;
  return QEL_OK;
}

// The acquisition sources' devices: the last one found and the mask of all.
struct Devices {
  XferAcqDevice device{};
  std::uint32_t mask = 0;
};

Devices DevicesOf(const XferObject* xfer) {
  Devices devices;
  for (const XferBoardSlot& slot : xfer->record->board.slots) {
    XferAcqDevice device{};
    if (slot.inUse == 0 || XferAcqDeviceOf(XferSourceHandleOf(slot.source), &device) != QEL_OK) continue;
    if (devices.mask == 0) devices.device = device;
    devices.mask |= device.mask;
  }
  return devices;
}

// Waits for every event at once with the transfer's lock given back; the
// handles are this call's own copies, so a disconnect meanwhile closes none
// of them under the wait.
QelStatus WaitUnlocked(XferObject* xfer, const std::vector<plat::Handle>& events, std::uint32_t timeoutMs) {
  std::vector<plat::Handle> copies;
  for (plat::Handle event : events)
    if (const plat::Handle copy = plat::duplicate_handle(event); copy != plat::kNullHandle) copies.push_back(copy);
  if (copies.empty()) return QEL_OK;
  xfer->lock.unlock();
  const std::uint32_t result = plat::wait_for_objects(copies, true, timeoutMs);
  xfer->lock.lock();
  for (plat::Handle copy : copies) plat::close_handle(copy);
  return result == plat::kWaitTimeout ? kXferTimeout : QEL_OK;
}

QelStatus WaitLocked(XferObject* xfer, std::uint32_t timeoutMs) {
  XferBoardState& board = xfer->record->board;
  std::vector<plat::Handle> events;
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    const XferBoardSlot& slot = board.slots[n];
    if (slot.inUse == 0 || slot.owner != xfer || !Running(board, n)) continue;
    if (slot.endEvent != plat::kNullHandle) events.push_back(slot.endEvent);
    for (std::uint32_t f = 0; f < slot.furtherCount && f < kXferFurtherStages; ++f)
      if (slot.further[f].endEvent != plat::kNullHandle) events.push_back(slot.further[f].endEvent);
  }
  return events.empty() ? QEL_OK : WaitUnlocked(xfer, events, timeoutMs);
}

// A stage whose DMA is not armed to go on starts from its state word's buffer.
QelHwStatus InitStage(XferBoardSlot& slot, XferHostStage& stage) {
  if (stage.stateWord == kXferStateArmed || !HasElements(stage)) return QELHW_OK;
  QelHwStatus status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, stage.stateWord, stage.channel);
  const std::uint32_t planes = stage.planes;
  for (std::uint32_t plane = 1; status == QELHW_OK && plane < planes; ++plane)
    status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, stage.stateWord, stage.channel + (planes == 2 ? 8 : plane));
  return status;
}

QelStatus StartSlot(XferObject* xfer, std::uint32_t n, std::int32_t frameCount, Devices* devices) {
  XferRecord& record = *xfer->record;
  XferBoardState& board = record.board;
  XferBoardSlot& slot = board.slots[n];
  if (Running(board, n)) {
    if (board.frameCount != 1 || (record.startMode != 1 && record.startMode != 2)) return kXferInUse;
    if (const QelStatus status = WaitLocked(xfer, record.waitTimeout); status != QEL_OK) return status;
  }
  XferClearPairCounters(xfer);
  board.stopping = 0;
  board.runningSlots |= 1u << n;
  board.frameCount = static_cast<std::uint32_t>(frameCount);
  for (std::uint32_t& counter : slot.frameCounters) counter = 0;
  slot.startTimeStamp = slot.lastTimeStamp;
  Yat_FPGA_GetLastTimeStamp(XferYatBoardOf(xfer), slot.connector, &slot.startTimeStamp);
  slot.runningStages = 0;
  board.endCallbackSent = 0;
  if (slot.endEvent != plat::kNullHandle) plat::reset_event(slot.endEvent);
  bool rearm = false;
  QelHwStatus status = QELHW_OK;
  XferHostStage* stages[1 + kXferFurtherStages] = {&slot.main};
  for (std::uint32_t f = 0; f < kXferFurtherStages; ++f) stages[f + 1] = &slot.further[f];
  for (std::uint32_t s = 0; s < 1 + kXferFurtherStages && status == QELHW_OK; ++s) {
    XferHostStage& stage = *stages[s];
    if (!HasElements(stage)) continue;
    if (s > 0 && stage.endEvent != plat::kNullHandle) plat::reset_event(stage.endEvent);
    rearm = rearm || stage.stateWord != kXferStateArmed;
    status = InitStage(slot, stage);
    slot.runningStages |= 1u << s;
  }
  if (status == QELHW_OK && rearm && HasElements(slot.main)) status = Yat_DMA_StartAutoTransfer(&slot.transfer);
  if (status != QELHW_OK) return TranslateStatus(status);
  for (XferHostStage* stage : stages) stage->stateWord = kXferStateArmed;
  XferAcqDevice device{};
  if (XferAcqDeviceOf(XferSourceHandleOf(slot.source), &device) != QEL_OK) return QEL_OK;
  if (devices->mask == 0) devices->device = device;
  devices->mask |= device.mask;
  const XferDestinationGroup* first = slot.source != nullptr ? slot.source->groups : nullptr;
  const std::uint32_t timeBase = first != nullptr ? first->prm[kTimeBasePrm] : 1;
  status = Yat_FPGA_SetCounterStampTimeBase(XferYatBoardOf(xfer), n, TimeBaseToHw(timeBase));
  return status == QELHW_OK ? QEL_OK : TranslateStatus(status);
}

}  // namespace

QelStatus XferYatStart(XferObject* xfer, std::int32_t frameCount) {
  if (const QelStatus status = CheckOwner(xfer); status != QEL_OK) return status;
  XferRecord& record = *xfer->record;
  Devices devices;
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    if (record.board.slots[n].inUse == 0) continue;
    if (const QelStatus status = StartSlot(xfer, n, frameCount, &devices); status != QEL_OK) return status;
  }
  if (devices.mask == 0) {
    record.board.runningSlots = 0;  // no acquisition to start: nothing runs
    return QEL_OK;
  }
  const QelStatus status =
      AcqModAcquisitionControl(devices.device.board, devices.device.device, frameCount, 0, devices.mask);
  if (status != QEL_OK) return status;
  // A one-frame snap in start mode 1 returns once its frame is in the host buffer.
  if (frameCount == 1 && record.startMode == 1) return WaitLocked(xfer, record.waitTimeout);
  return QEL_OK;
}

QelStatus XferYatStop(XferObject* xfer) {
  if (const QelStatus status = CheckOwner(xfer); status != QEL_OK) return status;
  const Devices devices = DevicesOf(xfer);
  if (devices.mask == 0) return QEL_OK;
  QelStatus status = AcqModAcquisitionControl(devices.device.board, devices.device.device, 0, 0, devices.mask);
  if (status != QEL_OK) return status;
  XferBoardState& board = xfer->record->board;
  XferDelivery delivery;
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    XferBoardSlot& slot = board.slots[n];
    if (slot.inUse == 0) continue;
    board.stopping = 1;
    // A slot that never started is idle by its own state, whatever the controller shows.
    if (Running(board, n) && !XferIsLastFrame(XferYatBoardOf(xfer), slot.connector, slot.lastTimeStamp)) continue;
    board.stopping = 0;
    board.runningSlots &= ~(1u << n);
    slot.runningStages = 0;
    if (slot.endEvent != plat::kNullHandle) delivery.endEvents[delivery.endEventCount++] = slot.endEvent;
    if (board.endCallbackSent != 0) continue;
    board.endCallbackSent = 1;
    if (slot.main.group != nullptr)
      XferYatPrepareCallback(slot.main.group, slot.main.group->currentPair, kXferEventEndOfTransfer, &delivery);
  }
  for (std::uint32_t e = 0; e < delivery.endEventCount; ++e) plat::set_event(delivery.endEvents[e]);
  delivery.endEventCount = 0;
  if (!delivery.callback) return QEL_OK;
  // The client's callback may ask for this transfer: it is sent with the lock given back.
  xfer->lock.unlock();
  XferYatDeliver(delivery);
  xfer->lock.lock();
  return QEL_OK;
}

QelStatus XferYatAbort(XferObject* xfer) {
  if (const QelStatus status = CheckOwner(xfer); status != QEL_OK) return status;
  const Devices devices = DevicesOf(xfer);
  if (devices.mask != 0) AcqModAcquisitionControl(devices.device.board, devices.device.device, -2, 0, devices.mask);
  XferBoardState& board = xfer->record->board;
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    XferBoardSlot& slot = board.slots[n];
    if (slot.inUse == 0) continue;
    board.stopping = 1;
    slot.main.stateWord = 0;  // the next start begins again at buffer 0
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

QelStatus XferYatWait(XferObject* xfer, std::uint32_t timeoutMs) { return WaitLocked(xfer, timeoutMs); }

bool XferYatIsCycleModeSupported(XferObject* xfer, std::uint32_t mode) {
  const std::uint32_t m = mode & 0xFFFFu;
  if (m != 0 && m != 2 && m != 3 && m != 5) return false;
  XferRecord& record = *xfer->record;
  if (record.connected == 0) return true;
  if (record.board.runningSlots != 0) return false;
  for (XferBoardSlot& slot : record.board.slots) {
    if (slot.inUse == 0 || !HasElements(slot.main) || slot.main.group != record.currentGroup) continue;
    if (Yat_DMA_SetCycleMode(&slot.transfer, ConvDmaCycleModeToHw(m)) != QELHW_OK) return false;
  }
  return true;
}
