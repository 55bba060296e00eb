// Where the elements of a buffer lie, and the two directions in which the
// transfers move them. Addresses are computed in 64 bits from the descriptor:
// line y starts y line strides after the data address, plane k starts plane
// lines x k line strides after it.
#pragma once

#include <cstdint>
#include <cstring>

#include "buffer-formats/FormatStatus.h"
#include "source/QelBuff/BufferDescriptor.h"

namespace fmtops {

inline std::uint8_t* BufferBytes(const BufferDescriptor& buffer) {
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(buffer.dataAddress));
}

// The 24-bit family steps its lines by the bytes per line the buffer module
// recorded; the others by pitch x element size.
template <unsigned Size>
std::uint64_t LineStride(const BufferDescriptor& buffer) {
  if constexpr (Size == 3) {
    return buffer.bytesPerLine;
  } else {
    return std::uint64_t{buffer.pitch} * Size;
  }
}

template <unsigned Size>
std::uint8_t* ElementAddress(const BufferDescriptor& buffer, std::uint64_t x, std::uint64_t y) {
  return BufferBytes(buffer) + y * LineStride<Size>(buffer) + x * Size;
}

template <unsigned Size>
std::uint8_t* PlaneElementAddress(const BufferDescriptor& buffer, std::uint32_t plane, std::uint64_t x,
                                  std::uint64_t y) {
  const std::uint64_t planeBytes = std::uint64_t{buffer.planeLines} * LineStride<Size>(buffer);
  return ElementAddress<Size>(buffer, x, y) + plane * planeBytes;
}

// The planes every line-walking clear visits: at least the first.
inline std::uint32_t PlaneCount(const BufferDescriptor& buffer) {
  return buffer.planes == 0 ? 1 : buffer.planes;
}

inline bool Inside(const BufferDescriptor& buffer, std::int64_t x, std::int64_t y) {
  return x >= 0 && y >= 0 && x < std::int64_t{buffer.width} && y < std::int64_t{buffer.height};
}

// 0 when (x, y) is an element of the buffer, else the status that names the
// argument at fault (x and y are arguments 2 and 3 unless told otherwise).
inline std::uint32_t CheckPosition(const BufferDescriptor& buffer, std::uint32_t x, std::uint32_t y,
                                   std::uint32_t xArgument = 2, std::uint32_t yArgument = 3) {
  if (x >= buffer.width) return FmtStatus(xArgument, kFmtKindOutOfRange);
  if (y >= buffer.height) return FmtStatus(yArgument, kFmtKindOutOfRange);
  return kFmtOk;
}

// Reads move elements from the buffer into the caller's memory.
struct IntoMemory {
  std::uint8_t* memory;
  void Move(std::uint8_t* element, std::uint64_t memoryOffset, std::uint64_t bytes) const {
    std::memmove(memory + memoryOffset, element, bytes);
  }
};

// Writes move them from the caller's memory into the buffer.
struct FromMemory {
  const std::uint8_t* memory;
  void Move(std::uint8_t* element, std::uint64_t memoryOffset, std::uint64_t bytes) const {
    std::memmove(element, memory + memoryOffset, bytes);
  }
};

inline IntoMemory Direction(void* memory) { return {static_cast<std::uint8_t*>(memory)}; }
inline FromMemory Direction(const void* memory) { return {static_cast<const std::uint8_t*>(memory)}; }

}  // namespace fmtops
