// Linear transfers of the element-size families: elements counted in raster
// order (index = y x width + x), whatever the pitch of the lines.
#pragma once

#include <algorithm>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

template <unsigned Size, class Mover>
std::uint32_t LinearTransfer(const BufferDescriptor& buffer, std::uint64_t offset, Mover mover,
                             std::uint32_t size) {
  const std::uint64_t width = buffer.width;
  const std::uint64_t total = width * buffer.height;
  if (offset > total) return FmtStatus(2, kFmtKindOutOfRange);
  std::uint64_t count = std::min<std::uint64_t>(size / Size, total - offset);
  if (count == 0) return kFmtOk;
  if (LineStride<Size>(buffer) == width * Size) {
    mover.Move(BufferBytes(buffer) + offset * Size, 0, count * Size);
    return kFmtOk;
  }
  // The elements between width and pitch are no part of the image: each
  // line's run stops at the width and the walk resumes at the next line.
  std::uint64_t x = offset % width;
  std::uint64_t y = offset / width;
  std::uint64_t moved = 0;
  while (count > 0) {
    const std::uint64_t run = std::min(width - x, count);
    mover.Move(ElementAddress<Size>(buffer, x, y), moved * Size, run * Size);
    moved += run;
    count -= run;
    x = 0;
    ++y;
  }
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyReadLinear(const BufferDescriptor* buffer, std::uint64_t offset, void* memory,
                               std::uint32_t size) {
  if (memory == nullptr) return FmtStatus(3, kFmtKindNoMemory);
  return LinearTransfer<Size>(*buffer, offset, Direction(memory), size);
}

template <unsigned Size>
std::uint32_t FamilyWriteLinear(const BufferDescriptor* buffer, std::uint64_t offset, const void* memory,
                                std::uint32_t size) {
  if (memory == nullptr) return FmtStatus(3, kFmtKindNoMemory);
  return LinearTransfer<Size>(*buffer, offset, Direction(memory), size);
}

}  // namespace fmtops
