// One transfer message of the board: the stage and the pair it is for, the
// frame count and the end of the transfer, the client's event word and
// callback, the host buffer's state, the monitor's record and the end events.
#include "driver/user/Pardow.h"
#include "source/QelAPI/QelCapiCallback.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/acqmonitor.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatRun.h"

namespace {

constexpr std::uint32_t kGrabArmed = 1u << 24;
constexpr std::uint32_t kGrabEnded = 1u << 20;
constexpr std::uint32_t kGroupCounterFlag = 0x2;
constexpr std::uint32_t kAcqHeight = 0x8140004;
constexpr std::uint32_t kAcqIncompleteMode = 0x8560004;  // 2: short frames are not marked
constexpr std::uint32_t kMonitorLastOfList = 0x1;
constexpr std::uint32_t kMonitorIncomplete = 0x2;

bool HasElements(const XferHostStage& stage) { return stage.elements != nullptr && stage.elementCount != 0; }

// The stage a message is for and its number (0 the main stage, f + 1 the
// further destination f); null when none matches.
XferHostStage* StageOf(XferBoardSlot& slot, std::uint32_t index, std::uint32_t channel, std::uint32_t* number) {
  if (HasElements(slot.main) &&
      ((index < slot.main.elementCount && channel == slot.main.channel) || slot.main.planes > 2)) {
    *number = 0;
    return &slot.main;
  }
  for (std::uint32_t f = 0; f < kXferFurtherStages; ++f) {
    XferHostStage& stage = slot.further[f];
    if (HasElements(stage) && stage.channel == channel && stage.elementCount > index) {
      *number = f + 1;
      return &stage;
    }
  }
  return nullptr;
}

XferPair* PairAt(XferDestinationGroup* group, std::uint32_t index) {
  XferPair* pair = group->first;
  for (std::uint32_t n = 0; pair != nullptr && n < index; ++n) pair = pair->next;
  return pair;
}

// The pair whose callback serves a buffer: its own, else the one registered
// on another pair of the chain (a client registers once for its chain).
XferPair* CallbackPair(XferDestinationGroup* group, XferPair* pair) {
  if (pair != nullptr && pair->eventWord != 0) return pair;
  for (XferPair* at = group->first; at != nullptr; at = at->next)
    if (at->eventWord != 0) return at;
  return nullptr;
}

// Marks the host buffer's frame whole or short and gives its size the bytes
// that came; answers whether it was short. The last line of a short frame
// may have come in part, so it is not counted.
bool MarkFrame(const XferSource* source, const XferPair& pair, const XferMessage& message) {
  BufferDescriptor* buffer = BufferDescriptorOf(&pair.destination);
  if (buffer == nullptr) return false;
  const QelHandle* acquisition = XferSourceHandleOf(source);
  std::uint32_t height = buffer->height, incompleteMode = 0;
  if (height == 0) XferSrcValue(acquisition, kAcqHeight, &height);
  XferSrcValue(acquisition, kAcqIncompleteMode, &incompleteMode);
  const std::uint32_t planes = buffer->planes == 0 ? 1 : buffer->planes;
  const std::uint32_t lines = message.Lines();
  const bool shortFrame = lines < height / planes && incompleteMode != 2;
  if (shortFrame) buffer->state |= kXferIncompleteFrame;
  else buffer->state &= ~kXferIncompleteFrame;
  const std::uint32_t uncounted = shortFrame && lines != 0 ? 1 : 0;
  buffer->sizeOverride = (lines - uncounted) * message.BytesPerLine();
  return shortFrame;
}

void AdvancePair(XferDestinationGroup* group, XferPair* pair, bool lastOfList) {
  if (lastOfList) return;  // the previous pair stays current
  group->currentPair = pair->next != nullptr ? pair->next : group->first;
}

void EndTransfer(XferObject* xfer, std::uint32_t n, XferHostStage& stage, std::uint32_t number, XferDelivery* out) {
  XferBoardState& board = xfer->record->board;
  XferBoardSlot& slot = board.slots[n];
  board.endCallbackSent = 1;
  XferAcqDevice device{};
  if (XferAcqDeviceOf(XferSourceHandleOf(slot.source), &device) == QEL_OK)
    AcqModAcquisitionControl(device.board, device.device, 0, 0, device.mask);
  if (stage.endEvent != plat::kNullHandle) out->endEvents[out->endEventCount++] = stage.endEvent;
  slot.runningStages &= ~(1u << number);
  if (slot.runningStages != 0) return;
  board.stopping = 0;
  board.runningSlots &= ~(1u << n);
}

void PrepareMonitor(const XferBoardSlot& slot, const XferMessage& message, std::uint32_t sdkEvents,
                    std::uint32_t lostFlags, XferDelivery* out) {
  XferAcqDevice device{};
  if (sdkEvents == 0 || XferAcqDeviceOf(XferSourceHandleOf(slot.source), &device) != QEL_OK) return;
  out->monitor = true;
  out->board = device.board;
  out->device = device.device;
  out->monitorRecord = {40, sdkEvents, lostFlags, message.Lines(), message.BytesPerLine(), message.TimeStamp(),
                        0, 0, 0, 0};
}

}  // namespace

bool XferIsLastFrame(std::uint32_t board, std::uint32_t connector, std::uint32_t timeStamp) {
  std::uint32_t status = 0;
  if (Yat_FPGA_GrabStatus(board, connector, &status) == QELHW_OK &&
      ((status & kGrabArmed) != 0 || (status & kGrabEnded) == 0))
    return false;
  std::uint32_t last = 0;
  return Yat_FPGA_GetLastTimeStamp(board, connector, &last) == QELHW_OK && last == timeStamp;
}

void XferYatPrepareCallback(XferDestinationGroup* group, XferPair* pair, std::uint32_t sdkEvents,
                            XferDelivery* out) {
  XferPair* holder = group != nullptr ? CallbackPair(group, pair) : nullptr;
  if (holder == nullptr) return;
  const std::uint32_t mask = sdkEvents & holder->eventWord & 0xFFFF0000u;
  if (mask == 0) return;
  ++group->eventCounter;
  ++holder->eventCounter;
  out->callback = true;
  out->server = holder->callbackServer;
  out->function = holder->callbackFunction;
  out->context = holder->callbackContext;
  out->eventMask = mask;
  out->eventCount = (group->prm[0x1B] & kGroupCounterFlag) != 0 ? group->eventCounter : holder->eventCounter;
}

void XferYatHandleMessage(XferObject* xfer, std::uint32_t n, const XferMessage& message, XferDelivery* out) {
  XferBoardState& board = xfer->record->board;
  XferBoardSlot& slot = board.slots[n];
  if (slot.inUse == 0) return;
  std::uint32_t number = 0;
  std::uint32_t index = message.BufferIndex();
  if (message.LastOfList() && slot.main.elementCount != 0) index = slot.main.elementCount - 1;
  XferHostStage* stage = StageOf(slot, index, message.Channel(), &number);
  XferDestinationGroup* group = stage != nullptr ? stage->group : nullptr;
  XferPair* pair = group != nullptr ? PairAt(group, index) : nullptr;
  if (pair == nullptr) return;
  group->currentPair = pair;
  const bool endOfFrame = (message.EventWord() & kXferHwEndOfFrame) != 0;
  // The message of a frame that ended before this start (one an abort cut
  // short, come late) is delivered but is not one of the start's frames.
  const bool ownFrame = message.TimeStamp() != slot.startTimeStamp;
  if (endOfFrame && ownFrame) ++slot.frameCounters[number];
  std::uint32_t sdkEvents = ConvEventTypeFromHw(message.EventWord());
  const bool running = (board.runningSlots & (1u << n)) != 0 && (slot.runningStages & (1u << number)) != 0 && ownFrame;
  const bool counted = static_cast<std::int32_t>(board.frameCount) > 0 && slot.frameCounters[number] == board.frameCount;
  const bool endOfTransfer =
      endOfFrame && running &&
      (counted || (board.stopping != 0 && XferIsLastFrame(XferYatBoardOf(xfer), slot.connector, message.TimeStamp())));
  if (endOfTransfer) sdkEvents |= kXferEventEndOfTransfer;
  std::uint32_t lostFlags = message.LastOfList() ? kMonitorLastOfList : 0;
  if (endOfFrame) {
    AdvancePair(group, pair, message.LastOfList());
    if (MarkFrame(slot.source, *pair, message)) lostFlags |= kMonitorIncomplete;
  }
  if (endOfTransfer) EndTransfer(xfer, n, *stage, number, out);
  XferYatPrepareCallback(group, pair, sdkEvents, out);
  PrepareMonitor(slot, message, sdkEvents, lostFlags, out);
  if ((endOfTransfer || (message.EventWord() & kXferHwEndOfTransfer) != 0) && slot.endEvent != plat::kNullHandle)
    out->endEvents[out->endEventCount++] = slot.endEvent;
  slot.lastTimeStamp = message.TimeStamp();
}

void XferYatDeliver(const XferDelivery& delivery) {
  if (delivery.callback)
    QelManSendCallback(&delivery.server, 0, delivery.function, delivery.context, delivery.eventMask,
                       delivery.eventCount);
  if (delivery.monitor) AcqMonitorXferCallback(delivery.board, delivery.device, delivery.monitorRecord.data());
  for (std::uint32_t e = 0; e < delivery.endEventCount; ++e) plat::set_event(delivery.endEvents[e]);
}
