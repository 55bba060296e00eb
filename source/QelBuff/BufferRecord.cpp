// Buffer records and descriptors: creation, registration, lookup.
#include <cstring>
#include <new>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferInternal.h"

QelStatus BufferAllocDescriptor(BufferDescriptor** descriptor, std::uint64_t* physical) {
  void* address = nullptr;
  *descriptor = nullptr;
  const QelStatus status = QelManAllocContigBufferEx(sizeof(BufferDescriptor), 0, kBufferDescriptorLimit,
                                                     physical, &address);
  if (status != QEL_OK || address == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Call to QelManAllocContigBufferEx failed", kBufferLabel);
    return kQelApiNoMemory;
  }
  *descriptor = static_cast<BufferDescriptor*>(address);
  std::memset(*descriptor, 0, sizeof(BufferDescriptor));
  return QEL_OK;
}

void BufferFreeDescriptor(BufferDescriptor* descriptor) {
  if (descriptor != nullptr) QelManFreeContigBuffer(descriptor);
}

QelStatus BufferNewRecord(BufferDescriptor* descriptor, std::uint64_t physical, QelHandle** out) {
  auto* record = new (std::nothrow) BufferRecord{};
  if (record == nullptr) return kBufferNoHandleMemory;
  record->handle.server = HostGetLocalAddress();
  record->handle.record = reinterpret_cast<std::uint64_t>(descriptor);
  record->handle.tag = kQelTagBuffer;
  record->handle.self = reinterpret_cast<std::uint64_t>(&record->handle);
  record->descriptorPhysical = physical;
  descriptor->owner = reinterpret_cast<std::uint64_t>(record);
  HandleRegistryAdd(kQelTagBuffer, descriptor);
  *out = &record->handle;
  return QEL_OK;
}

void BufferDeleteRecord(BufferDescriptor* descriptor) {
  HandleRegistryRemove(kQelTagBuffer, descriptor);
  delete BufferRecordOf(descriptor);
  BufferFreeDescriptor(descriptor);
}

BufferDescriptor* BufferDescriptorOf(const QelHandle* buffer) {
  return static_cast<BufferDescriptor*>(HandleRecordOf(buffer, kQelTagBuffer));
}

BufferRecord* BufferRecordOf(const BufferDescriptor* descriptor) {
  return reinterpret_cast<BufferRecord*>(static_cast<std::uintptr_t>(descriptor->owner));
}

std::uint32_t BufferLineBytes(std::uint32_t width, std::uint32_t format) {
  return static_cast<std::uint32_t>((std::uint64_t{BufferFormatBits(format)} * width + 7) >> 3);
}

std::uint64_t BufferMemorySize(std::uint32_t width, std::uint32_t height, std::uint32_t format) {
  return std::uint64_t{BufferLineBytes(width, format)} * BufferFormatPlanes(format) * height;
}

void BufferFillDescriptor(BufferDescriptor* descriptor, std::uint32_t width, std::uint32_t height,
                          std::uint32_t format, std::uint32_t kind, std::uint64_t address) {
  descriptor->formatTableIndex = QelManGetFormatIndex(format);
  descriptor->blockAddress = address;
  descriptor->dataAddress = address;
  descriptor->pitch = width;
  descriptor->planeLines = height;
  descriptor->regionX = 0;
  descriptor->regionY = 0;
  descriptor->width = width;
  descriptor->height = height;
  descriptor->format = format;
  descriptor->elementSize = BufferFormatElementSize(format);
  descriptor->bitsPerElement = BufferFormatBits(format);
  descriptor->planes = BufferFormatPlanes(format);
  descriptor->formatIndex = BufferFormatIndex(format);
  descriptor->bytesPerLine = BufferLineBytes(width, format);
  descriptor->parent = 0;
  descriptor->memoryKind = kind;
  descriptor->childCount = 0;
  descriptor->state = 0;
  descriptor->currentPlane = 0;
  descriptor->counter = 0;
  descriptor->sizeOverride = 0;
  descriptor->significantBits = QelManGetFormatPixelDepthMax(format);
  descriptor->stateLinkMirror = 0;
  descriptor->stateLinkTarget = 0;
  descriptor->stateLinkDescriptor = 0;
}

QelStatus BufferGetMemory(const QelHandle* buffer, BufferMemoryView* view) {
  const BufferDescriptor* descriptor = BufferDescriptorOf(buffer);
  if (descriptor == nullptr) return kBufferInvalidHandle;
  if (view == nullptr) return BufferStatus(2, kQelKindNullPointer);
  *view = {};
  view->address = BufferAddressOf(descriptor->dataAddress);
  view->bytesPerLine = descriptor->bytesPerLine;
  view->size = std::uint64_t{descriptor->bytesPerLine} * (descriptor->planes == 0 ? 1 : descriptor->planes) *
               descriptor->height;
  view->kind = descriptor->memoryKind;
  if (descriptor->sgEntriesUsed == 1) view->physical = descriptor->sgFirstPhysical;
  if ((descriptor->memoryKind & kBufferKindScatterGather) != 0 &&
      ((descriptor->memoryKind & kBufferKindPhysicalPages) == 0 ||
       (descriptor->memoryKind & kBufferKindCaller) != 0))
    view->sgList = reinterpret_cast<qelmem::QelMemSgList*>(static_cast<std::uintptr_t>(descriptor->memoryObject));
  else if ((descriptor->memoryKind & kBufferKindPhysicalPages) != 0)
    view->pages = descriptor->memoryObject;
  return QEL_OK;
}
