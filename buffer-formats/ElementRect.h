// Rectangles between a buffer and packed memory: the rectangle is cut to the
// buffer, and memory holds the cut rectangle line after line.
#pragma once

#include <algorithm>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

template <unsigned Size, class Mover>
std::uint32_t RectTransfer(const BufferDescriptor& buffer, std::uint32_t x, std::uint32_t y,
                           std::uint32_t width, std::uint32_t height, Mover mover, std::uint32_t size) {
  if (const std::uint32_t status = CheckPosition(buffer, x, y)) return status;
  if (width < 2) return FmtStatus(4, kFmtKindTooSmall);
  if (height < 2) return FmtStatus(5, kFmtKindTooSmall);
  if (mover.memory == nullptr) return FmtStatus(6, kFmtKindNoMemory);
  const std::uint64_t lines = std::min(height, buffer.height - y);
  const std::uint64_t run = std::min(width, buffer.width - x);
  if (std::uint64_t{size} < lines * run * Size) return FmtStatus(7, kFmtKindOutOfRange);
  for (std::uint64_t line = 0; line < lines; ++line) {
    mover.Move(ElementAddress<Size>(buffer, x, y + line), line * run * Size, run * Size);
  }
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyReadRect(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                             std::uint32_t width, std::uint32_t height, void* memory, std::uint32_t size) {
  return RectTransfer<Size>(*buffer, x, y, width, height, Direction(memory), size);
}

template <unsigned Size>
std::uint32_t FamilyWriteRect(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                              std::uint32_t width, std::uint32_t height, const void* memory,
                              std::uint32_t size) {
  return RectTransfer<Size>(*buffer, x, y, width, height, Direction(memory), size);
}

}  // namespace fmtops
