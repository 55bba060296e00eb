// Child buffers: a region of a parent's memory with a descriptor of its own.
// A child's offsets are relative to the root block, so that its element
// address follows from the root's memory alone.
#include <algorithm>

#include "source/QelBuff/BufferInternal.h"

namespace {

bool IsPairFormat(std::uint32_t format) {
  return format == kBufferFormatUyvy || format == kBufferFormatYuy2 || format == kBufferFormatYvyu ||
         format == kBufferFormatYuyv;
}

bool IsGroupFormat(std::uint32_t format) { return format == kBufferFormatY411 || format == kBufferFormatY211; }

}  // namespace

QelStatus BufferCheckChildPlace(const BufferDescriptor* parent, std::uint32_t x, std::uint32_t y,
                                std::uint32_t width, std::uint32_t height) {
  const std::uint32_t format = parent->format;
  if (format == kBufferFormatMono1) {
    if (x != 0) return BufferStatus(2, 0x35);
    if (y != 0) return BufferStatus(3, 0x35);
    if (width != parent->width) return BufferStatus(4, 0x35);
    if (height != parent->height) return BufferStatus(5, 0x35);
    return QEL_OK;
  }
  const std::uint32_t step = IsPairFormat(format) ? 2 : IsGroupFormat(format) ? 4 : 1;
  if (x % step != 0) return BufferStatus(2, 0x35);
  if (width % step != 0) return BufferStatus(4, 0x35);
  return QEL_OK;
}

void BufferPlaceChild(BufferDescriptor* child, const BufferDescriptor* parent) {
  const std::uint64_t dx = child->regionX - parent->regionX;
  const std::uint64_t dy = child->regionY - parent->regionY;
  const std::uint64_t offset = ((std::uint64_t{child->bitsPerElement} * dx + 7) >> 3) + child->bytesPerLine * dy;
  child->dataAddress = parent->dataAddress != 0 ? parent->dataAddress + offset : 0;
  if (parent->sgEntriesUsed == 1) {
    // The same byte offset into the parent's one piece; memory without a
    // bus address keeps none.
    child->sgEntriesUsed = 1;
    child->sgFirstPhysical = parent->sgFirstPhysical != 0 ? parent->sgFirstPhysical + offset : 0;
    child->sgFirstLength = child->bytesPerLine * child->height;
  } else {
    child->sgEntriesUsed = parent->sgEntriesUsed;
    child->sgFirstPhysical = 0;
    child->sgFirstLength = 0;
    child->memoryObject = parent->memoryObject;
  }
}

QelStatus BufferNewChild(const QelHandle* parentHandle, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                         std::uint32_t height, QelHandle** out) {
  BufferDescriptor* parent = BufferDescriptorOf(parentHandle);
  if (parent == nullptr) return kBufferBadParent;
  if (out == nullptr) return BufferStatus(7, kQelKindNullPointer);
  *out = nullptr;
  if (x > parent->width) x = 0;
  if (y > parent->height) y = 0;
  width = std::min(parent->width - x, width);
  height = std::min(parent->height - y, height);
  if (const QelStatus status = BufferCheckChildPlace(parent, x, y, width, height); status != QEL_OK) return status;

  BufferDescriptor* child = nullptr;
  std::uint64_t physical = 0;
  if (BufferAllocDescriptor(&child, &physical) != QEL_OK) return kBufferNoMemory;
  child->formatTableIndex = parent->formatTableIndex;
  child->blockAddress = parent->blockAddress;
  child->pitch = parent->pitch;
  child->planeLines = parent->planeLines;
  child->format = parent->format;
  child->displayInfo = parent->displayInfo;
  child->elementSize = parent->elementSize;
  child->bitsPerElement = parent->bitsPerElement;
  child->planes = parent->planes;
  child->formatIndex = parent->formatIndex;
  child->bytesPerLine = parent->bytesPerLine;
  child->memoryKind = parent->memoryKind;
  child->currentPlane = parent->currentPlane;
  child->counter = parent->counter;
  child->significantBits = parent->significantBits;
  child->serverAddressOffset = parent->serverAddressOffset;
  child->sgEntriesAllocated = 1;
  child->regionX = parent->regionX + x;
  child->regionY = parent->regionY + y;
  child->width = width;
  child->height = height;
  child->parent = reinterpret_cast<std::uint64_t>(parent);
  BufferPlaceChild(child, parent);
  if (const QelStatus status = BufferNewRecord(child, physical, out); status != QEL_OK) {
    BufferFreeDescriptor(child);
    return status;
  }
  ++parent->childCount;
  return QEL_OK;
}
