// Copies between two buffers of one element size, and the whole-buffer copy
// that stands for the conversion of a 24-, 32- or 64-bit buffer into the
// family's mono format. Lines are moved with memmove: a child and its parent
// share memory.
#pragma once

#include <algorithm>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

template <unsigned Size>
void CopyLines(const BufferDescriptor& source, std::uint32_t sx, std::uint32_t sy,
               const BufferDescriptor& destination, std::uint32_t dx, std::uint32_t dy,
               std::uint64_t lines, std::uint64_t run) {
  for (std::uint64_t line = 0; line < lines; ++line) {
    std::memmove(ElementAddress<Size>(destination, dx, dy + line),
                 ElementAddress<Size>(source, sx, sy + line), run * Size);
  }
}

// Formats are not compared; buffers whose elements or planes differ in size
// or number cannot be copied element for element.
template <unsigned Size>
std::uint32_t FamilyCopy(const BufferDescriptor* source, std::uint32_t x, std::uint32_t y,
                         const BufferDescriptor* destination) {
  if (destination == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  if (const std::uint32_t status = CheckPosition(*destination, x, y)) return status;
  if (destination->elementSize != Size || destination->planes != source->planes) return kFmtMismatch;
  const std::uint64_t lines = std::min(source->height, destination->height - y);
  const std::uint64_t run = std::min(destination->width - x, source->width);
  CopyLines<Size>(*source, 0, 0, *destination, x, y, lines, run);
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyCopyRect(const BufferDescriptor* source, std::uint32_t sx, std::uint32_t sy,
                             std::uint32_t width, std::uint32_t height,
                             const BufferDescriptor* destination, std::uint32_t dx, std::uint32_t dy) {
  if (destination == nullptr) return FmtStatus(6, kFmtKindNoMemory);
  if (const std::uint32_t status = CheckPosition(*source, sx, sy)) return status;
  if (const std::uint32_t status = CheckPosition(*destination, dx, dy, 7, 8)) return status;
  if (source->format != destination->format) return kFmtMismatch;
  const std::uint64_t lines = std::min({source->height - sy, height, destination->height - dy});
  const std::uint64_t run = std::min({source->width - sx, width, destination->width - dx});
  CopyLines<Size>(*source, sx, sy, *destination, dx, dy, lines, run);
  return kFmtOk;
}

template <unsigned Size>
constexpr std::uint32_t FamilyMonoCode() {
  if constexpr (Size == 3) return kBufferFormatMono24;
  if constexpr (Size == 4) return kBufferFormatMono32;
  if constexpr (Size == 8) return kBufferFormatMono64;
}

template <unsigned Size>
std::uint32_t FamilyConvert(BufferDescriptor* source, BufferDescriptor* destination, std::uint32_t) {
  if (destination == nullptr) return FmtStatus(2, kFmtKindNoMemory);
  if (destination->format != FamilyMonoCode<Size>()) return kFmtNotImplemented;
  return FamilyCopy<Size>(source, 0, 0, destination);
}

}  // namespace fmtops
