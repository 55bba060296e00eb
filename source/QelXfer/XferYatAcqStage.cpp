// The acquisition's stage: one acquisition element per on-board buffer of a
// group, the frame's windows they point to, the stage's event and the worker.
#include <memory>

#include "source/QelAPI/QelConvert.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelBuff/YatBoardBuffers.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatStages.h"

namespace {

struct Frame {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t format;
  std::uint32_t alignment;
};

QelStatus ReadFrame(const QelHandle* source, Frame* frame) {
  const std::pair<std::uint32_t, std::uint32_t*> values[] = {
      {0xA0004, &frame->width}, {0x8140004, &frame->height}, {0x8280004, &frame->format}};
  for (const auto& [id, value] : values)
    if (const QelStatus status = XferSrcValue(source, id, value); status != QEL_OK) return status;
  // The line alignment in bytes is a capability of the device (1 when it gives none).
  frame->alignment = 1;
  XferGetSrcCap(source, 0x8750004, &frame->alignment);
  return QEL_OK;
}

std::uint32_t CountPairs(const XferDestinationGroup& group) {
  std::uint32_t count = 0;
  for (const XferPair* pair = group.first; pair != nullptr; pair = pair->next) ++count;
  return count;
}

// One element: the buffer's place and size, the frame's windows.
QelStatus FillElement(const Frame& frame, const BufferDescriptor& buffer, const YatInternalBuffer& record,
                      YatImageWindow* windows, YatLocalImage* element) {
  const std::uint32_t bytes = buffer.elementSize == 0 ? 1 : buffer.elementSize;
  const std::uint32_t width = buffer.bytesPerLine / bytes != 0 ? buffer.bytesPerLine / bytes : frame.width;
  const std::uint32_t height = buffer.height != 0 ? buffer.height : frame.height;
  if (frame.alignment != 0 && (width * bytes) % frame.alignment != 0) return kXferAlignment;
  const bool strip = record.roiCount1 != 0;
  if (width < frame.width || (!strip && height < frame.height)) return kXferRegionIncompatible;
  const std::uint32_t lineBytes = width * bytes;
  windows[0] = {0, 0, 0, frame.width, frame.height, 0, lineBytes};
  windows[1] = windows[0];
  *element = YatLocalImage{kXferAcqElementSize,
                           0,
                           width,
                           height,
                           ConvDataFormatToHw(buffer.format),
                           0,
                           0,
                           width,
                           frame.height,
                           record.onboardAddress,
                           0,
                           1,
                           reinterpret_cast<std::uintptr_t>(&windows[0]),
                           1,
                           reinterpret_cast<std::uintptr_t>(&windows[1]),
                           0};
  return QEL_OK;
}

QelStatus BuildElements(const Frame& frame, XferDestinationGroup& group, InternalBufferStage& stage) {
  const std::uint32_t count = CountPairs(group);
  if (stage.elements == nullptr || stage.count < count) {
    delete[] stage.elements;
    stage.elements = new (std::nothrow) YatLocalImage[count]();
  }
  stage.windows = new (std::nothrow) YatImageWindow[2 * count]();
  if (stage.elements == nullptr || stage.windows == nullptr) return kXferOutOfMemory;
  stage.windowCount = 2 * count;
  std::uint32_t n = 0, size = 0;
  for (XferPair* pair = group.first; pair != nullptr; pair = pair->next, ++n) {
    const BufferDescriptor* buffer = BufferDescriptorOf(&pair->destination);
    const YatInternalBuffer* record = YatBoardBufferRecord(&pair->destination);
    if (buffer == nullptr || record == nullptr) return kXferMemoryNotUsable;
    if (n != 0 && record->size != size) return kXferRegionIncompatible;  // all of one size
    size = record->size;
    if (const QelStatus s = FillElement(frame, *buffer, *record, &stage.windows[2 * n], &stage.elements[n]);
        s != QEL_OK)
      return s;
  }
  stage.elementCount = count;
  return QEL_OK;
}

}  // namespace

QelStatus XferYatConnectAcqToInternalBuffer(XferObject* xfer, XferSource* source, XferDestinationGroup* group) {
  XferAcqDevice device{};
  const QelHandle* acquisition = XferSourceHandleOf(source);
  QelStatus status = XferAcqDeviceOf(acquisition, &device);
  if (status != QEL_OK) return status;
  if (YatBoardBufferRecord(&group->first->destination) == nullptr) return kXferMemoryNotUsable;
  InternalBufferStage& stage = xfer->record->board.stages[device.connector];
  if (stage.inUse != 0) return kXferPlaceTaken;
  stage.owner = xfer;
  stage.source = source;
  stage.group = group;
  stage.inUse = 1;
  Frame frame{};
  status = ReadFrame(acquisition, &frame);
  if (status == QEL_OK) status = BuildElements(frame, *group, stage);
  if (status == QEL_OK) {
    stage.event = plat::create_event(nullptr, true, false, nullptr);
    stage.workerHeld = stage.event != plat::kNullHandle ? XferStartWorker(xfer) : 0;
    if (stage.workerHeld == 0) status = kXferResource;
  }
  if (status != QEL_OK) XferYatLog(__LINE__, "XferYatConnectAcqToInternalBuffer: = 0x%x", status);
  return status;
}
