// Straight lines: the elements from (x1, y1) towards (x2, y2), cut where the
// line first leaves the buffer. The memory must hold the whole uncut line.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

template <unsigned Size, class Mover>
std::uint32_t LineTransfer(const BufferDescriptor& buffer, std::int32_t x1, std::int32_t y1,
                           std::int32_t x2, std::int32_t y2, std::uint32_t* count, Mover mover,
                           std::uint32_t size) {
  if (count == nullptr) return FmtStatus(6, kFmtKindNoMemory);
  *count = 0;
  if (std::uint32_t(x1) >= buffer.width) return FmtStatus(2, kFmtKindOutOfRange);
  if (std::uint32_t(y1) >= buffer.height) return FmtStatus(3, kFmtKindOutOfRange);
  const std::int64_t dx = std::int64_t{x2} - x1;
  const std::int64_t dy = std::int64_t{y2} - y1;
  const std::int64_t ax = std::abs(dx);
  const std::int64_t ay = std::abs(dy);
  const std::int64_t points = std::max(ax, ay) + 1;
  if (mover.memory == nullptr) return FmtStatus(7, kFmtKindNoMemory);
  if (std::uint64_t{size} < std::uint64_t(points) * Size) return FmtStatus(8, kFmtKindOutOfRange);

  if (dy == 0 && dx >= 1) {
    const std::int64_t width = buffer.width;
    const std::int64_t run = x2 < width ? dx + 1 : width - x1;
    mover.Move(ElementAddress<Size>(buffer, x1, y1), 0, std::uint64_t(run) * Size);
    *count = std::uint32_t(run);
    return kFmtOk;
  }

  const int stepX = dx >= 0 ? 1 : -1;
  const int stepY = dy >= 0 ? 1 : -1;
  const bool steep = ax < ay;
  const std::int64_t major = steep ? ay : ax;
  const std::int64_t minor = steep ? ax : ay;
  std::int64_t error = major >> 1;
  std::int64_t x = x1;
  std::int64_t y = y1;
  std::int64_t copied = 0;
  while (copied < points) {
    error += minor;
    mover.Move(ElementAddress<Size>(buffer, x, y), std::uint64_t(copied) * Size, Size);
    ++copied;
    const bool minorStep = error >= major;
    if (minorStep) error -= major;
    if (steep) {
      if (minorStep) x += stepX;
      y += stepY;
    } else {
      if (minorStep) y += stepY;
      x += stepX;
    }
    if (!Inside(buffer, x, y)) break;
  }
  *count = std::uint32_t(copied);
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyReadLine(const BufferDescriptor* buffer, std::int32_t x1, std::int32_t y1,
                             std::int32_t x2, std::int32_t y2, std::uint32_t* count, void* memory,
                             std::uint32_t size) {
  return LineTransfer<Size>(*buffer, x1, y1, x2, y2, count, Direction(memory), size);
}

template <unsigned Size>
std::uint32_t FamilyWriteLine(const BufferDescriptor* buffer, std::int32_t x1, std::int32_t y1,
                              std::int32_t x2, std::int32_t y2, std::uint32_t* count,
                              const void* memory, std::uint32_t size) {
  return LineTransfer<Size>(*buffer, x1, y1, x2, y2, count, Direction(memory), size);
}

}  // namespace fmtops
