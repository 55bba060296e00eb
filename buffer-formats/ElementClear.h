// Clears: every element of every line of every plane takes one pattern. The
// planes of a planar buffer lie plane lines apart, so a child's planes are
// each cleared in its own region and nothing between them is touched.
#pragma once

#include <array>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

template <unsigned Size>
using ElementPattern = std::array<std::uint8_t, Size>;

template <unsigned Size>
void FillElements(const BufferDescriptor& buffer, const ElementPattern<Size>& pattern) {
  const std::uint32_t planes = PlaneCount(buffer);
  for (std::uint32_t plane = 0; plane < planes; ++plane) {
    for (std::uint32_t y = 0; y < buffer.height; ++y) {
      std::uint8_t* line = PlaneElementAddress<Size>(buffer, plane, 0, y);
      if constexpr (Size == 1) {
        std::memset(line, pattern[0], buffer.width);
      } else {
        for (std::uint32_t x = 0; x < buffer.width; ++x) {
          std::memcpy(line + std::uint64_t{x} * Size, pattern.data(), Size);
        }
      }
    }
  }
}

// The value at the family's width: the low bytes of the value, and for the
// 64-bit family the value in both halves.
template <unsigned Size>
ElementPattern<Size> ClearPattern(std::uint32_t value) {
  ElementPattern<Size> pattern{};
  if constexpr (Size == 8) {
    std::memcpy(pattern.data(), &value, 4);
    std::memcpy(pattern.data() + 4, &value, 4);
  } else {
    std::memcpy(pattern.data(), &value, Size);
  }
  return pattern;
}

template <unsigned Size>
std::uint32_t FamilyClear(const BufferDescriptor* buffer, std::uint32_t value) {
  FillElements<Size>(*buffer, ClearPattern<Size>(value));
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyClearElement(const BufferDescriptor* buffer, const void* element,
                                 std::uint32_t length) {
  if (element == nullptr) return FmtStatus(2, kFmtKindNoMemory);
  if (length < Size) return FmtStatus(3, kFmtKindOutOfRange);
  ElementPattern<Size> pattern;
  std::memcpy(pattern.data(), element, Size);
  FillElements<Size>(*buffer, pattern);
  return kFmtOk;
}

}  // namespace fmtops
