// The host stage of an acquisition's slot: one host element per buffer of a
// group of host buffers, each checked against the frame (region first, then
// alignment and planes), with the stage flag word of the group's options.
#include <cstring>
#include <memory>

#include "driver/user/Pardow.h"
#include "driver/user/YatBoardManager.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatBoardData.h"
#include "source/QelXfer/XferYatFlags.h"
#include "source/QelXfer/XferYatStages.h"

namespace {

constexpr std::uint32_t kUsableKinds = kBufferKindContiguous | kBufferKindScatterGather | kBufferKindDisplayLocked |
                                       kBufferKindNoMemory;
constexpr std::uint32_t kMono1 = 0x1180100;
constexpr std::uint32_t kCameraInsertOption = 1u << 3;
constexpr std::uint32_t kCameraInsertFlag = 0x2000;

struct Expected {
  std::uint32_t width;
  std::uint32_t height;
};

// What the flag word and the checks read of the acquisition.
struct AcqFacts {
  Expected frame;
  XferFlagInputs flags;
};

QelStatus ReadFacts(const QelHandle* source, const XferAcqDevice& device, const XferDestinationGroup& group,
                    XferBoardSlot& slot, AcqFacts* facts) {
  // The frame the acquisition delivers: its window's width and lines.
  XferFlagInputs& f = facts->flags;
  const std::pair<std::uint32_t, std::uint32_t*> values[] = {
      {0x30004, &f.mode},         {0xA0004, &facts->frame.width}, {0x8140004, &facts->frame.height},
      {0x8280004, &f.format},     {0x50004, &f.depth},            {0x8670004, &f.extension16},
      {0x8680004, &f.busBits},    {0x90004, &f.outputBits}};
  for (const auto& [id, value] : values)
    if (const QelStatus status = XferSrcValue(source, id, value); status != QEL_OK) return status;
  f.options = group.prm[0x1B];
  f.counterMode = group.prm[0x1D];
  f.counterValue = group.prm[0x1C];
  if ((f.options & kCameraInsertOption) != 0)
    f.cameraInsertBuffers = XferYatCameraInsertsOf(device, &slot.cameraInserts);
  f.connector = device.connector;
  f.acquisition = true;
  XferFlatFieldFacts flatField{};
  if (const QelStatus status = XferYatFlatFieldOf(source, device, &flatField, &slot.inserts); status != QEL_OK)
    return status;
  f.flatField = flatField.on != 0;
  f.selected = flatField.selected;
  f.storedMode = flatField.storedMode;
  f.coefficientBuffers = flatField.buffers;
  f.coefficientUse = group.prm[0x1A];
  return QEL_OK;
}

QelStatus CheckBuffer(const BufferDescriptor& buffer, const Expected& frame) {
  if (buffer.width < frame.width || buffer.height < frame.height) {
    LogPutLog(kQelLogError, kXferYatLogFile, __LINE__,
              "Incompatible ROI for host buffer, expected at least %ldx%ld, got %ldx%ld\n",
              static_cast<long>(frame.width), static_cast<long>(frame.height), static_cast<long>(buffer.width),
              static_cast<long>(buffer.height));
    return kXferRegionIncompatible;
  }
  const std::uint32_t step = buffer.elementSize == 0 || buffer.elementSize >= 8 ? 1 : 8 / buffer.elementSize;
  if (buffer.regionX % step != 0 || buffer.width % step != 0) return kXferAlignment;
  const std::uint32_t planes = buffer.planes == 0 ? 1 : buffer.planes;
  if (buffer.height % planes != 0) return kXferPlanes;
  return QEL_OK;
}

void FillEntry(const BufferDescriptor& buffer, std::uint64_t* stateWord, std::uint32_t hwState,
               YatHostBufferEntry* entry) {
  const std::uint32_t bytes = buffer.elementSize == 0 ? 1 : buffer.elementSize;
  const std::uint32_t planes = buffer.planes == 0 ? 1 : buffer.planes;
  std::uint32_t pitch = buffer.bytesPerLine / bytes, left = buffer.regionX;
  if (buffer.format == kMono1) {
    pitch /= 8;
    left /= 8;
  }
  *entry = YatHostBufferEntry{};
  entry->reserved = kXferHostElementSize;
  entry->bufferFlags = hwState != 0 ? 1 : 0;
  entry->geometry = {buffer.width, buffer.height, ConvDataFormatToHw(buffer.format), left, buffer.regionY, pitch,
                     buffer.height};
  entry->stateSlotA = reinterpret_cast<std::uintptr_t>(stateWord);
  entry->lock.user_address = buffer.blockAddress;
  entry->lock.buffer_size = std::uint64_t{buffer.bytesPerLine} * planes * (buffer.planeLines != 0 ? buffer.planeLines : buffer.height);
}

QelStatus Allocate(XferHostStage& stage, std::uint32_t count) {
  stage.elements = new (std::nothrow) YatHostBufferEntry[count]();
  stage.stateWords = new (std::nothrow) std::uint64_t[count]();
  if (stage.elements == nullptr || stage.stateWords == nullptr) {
    XferYatLog(__LINE__, "ConnectInternalbufferToHost: = 0x%x", kXferOutOfMemory);
    return kXferOutOfMemory;
  }
  for (std::uint32_t n = 0; n < count; ++n) stage.elements[n].reserved = kXferHostElementSize;
  stage.elementCount = count;
  return QEL_OK;
}

QelStatus BuildHostElements(XferObject* xfer, XferBoardSlot& slot, XferDestinationGroup& group,
                            const AcqFacts& facts) {
  std::uint32_t count = 0;
  for (const XferPair* pair = group.first; pair != nullptr; pair = pair->next) ++count;
  XferHostStage& stage = slot.main;
  if (const QelStatus status = Allocate(stage, count); status != QEL_OK) return status;
  std::uint32_t hwState = 0;
  Yat_Man_Get_HwState(XferYatBoardOf(xfer), &hwState, 0);
  std::uint32_t n = 0;
  QelStatus refusal = QEL_OK;
  for (XferPair* pair = group.first; pair != nullptr; pair = pair->next, ++n) {
    const BufferDescriptor* buffer = BufferDescriptorOf(&pair->destination);
    if (buffer == nullptr || (buffer->memoryKind & kUsableKinds) == 0) return kXferMemoryNotUsable;
    if (const QelStatus status = CheckBuffer(*buffer, facts.frame); status != QEL_OK) return status;
    if (buffer->width != facts.frame.width || buffer->regionX != 0) slot.needsRegion = 1;
    FillEntry(*buffer, &stage.stateWords[n], hwState, &stage.elements[n]);
    XferFlagInputs inputs = facts.flags;
    inputs.bufferCounter = buffer->counter;
    inputs.elementIndex = n;
    inputs.pairCoefficient = pair->prm23;
    const XferFlagResult flags = XferStageFlags(inputs);
    if (flags.status != QEL_OK) refusal = flags.status;
    stage.flagWord = flags.flags;
    if ((flags.flags & kCameraInsertFlag) != 0) stage.elements[n].cameraInsertIndex = flags.counter;
    stage.elements[n].insertIndex = flags.insertIndex;
  }
  if (refusal != QEL_OK) return refusal;
  stage.group = &group;
  stage.list = YatHostBufferList{0, ConvDmaCycleModeToHw(group.prm[0xE]), count,
                                 reinterpret_cast<std::uintptr_t>(stage.elements), stage.flagWord};
  return QEL_OK;
}

QelStatus StartEnd(XferObject* xfer, XferBoardSlot& slot) {
  if (slot.endEvent != plat::kNullHandle) return QEL_OK;
  Yat_FPGA_GetLastTimeStamp(XferYatBoardOf(xfer), slot.connector, &slot.lastTimeStamp);
  slot.endEvent = plat::create_event(nullptr, true, false, nullptr);
  slot.workerHeld = slot.endEvent != plat::kNullHandle ? XferStartWorker(xfer) : 0;
  return slot.workerHeld != 0 ? QEL_OK : kXferResource;
}

}  // namespace

// A host buffer's state bit 31 follows its DMA entry's armed bit while the
// transfer is connected: set, the buffer is free for the next frame; the
// board clears it when it fills the buffer, and a client that is done with
// the frame sets it again (parameter 14) to give the buffer back.
void XferYatLinkHostStates(XferHostStage& stage, bool link) {
  constexpr std::uint32_t kLinkArmedBit = 0x80000000u | 31u;
  if (stage.group == nullptr || stage.stateWords == nullptr) return;
  std::uint32_t n = 0;
  for (const XferPair* pair = stage.group->first; pair != nullptr && n < stage.elementCount; pair = pair->next, ++n) {
    BufferDescriptor* buffer = BufferDescriptorOf(&pair->destination);
    if (buffer == nullptr || stage.stateWords[n] == 0) continue;
    if (link) {
      buffer->stateLinkTarget = stage.stateWords[n];
      buffer->stateLinkMirror = 0;
      buffer->stateLinkDescriptor = kLinkArmedBit;
    } else if (buffer->stateLinkTarget == stage.stateWords[n]) {
      buffer->stateLinkTarget = 0;
      buffer->stateLinkDescriptor = 0;
    }
  }
}

QelStatus XferYatConnectInternalToHost(XferObject* xfer, XferSource* source, XferDestinationGroup* group) {
  const QelHandle* acquisition = XferSourceHandleOf(source);
  XferAcqDevice device{};
  QelStatus status = XferAcqDeviceOf(acquisition, &device);
  if (status != QEL_OK) return status;
  XferBoardSlot& slot = xfer->record->board.slots[device.connector];
  if (slot.inUse != 0 && slot.main.elements != nullptr) return kXferPlaceTaken;
  if (slot.inUse == 0) {
    slot.owner = xfer;
    slot.source = source;
    slot.firstPair = group->first;
    slot.connector = device.connector;
    slot.inUse = 1;
  }
  AcqFacts facts{};
  status = ReadFacts(acquisition, device, *group, slot, &facts);
  if (status == QEL_OK) status = BuildHostElements(xfer, slot, *group, facts);
  if (status == QEL_OK) status = StartEnd(xfer, slot);
  if (status == kXferResource) XferYatLog(__LINE__, "XferYatConnectInternalToHost: = 0x%x", status);
  if (status == QEL_OK) group->currentPair = group->first;
  return status;
}
