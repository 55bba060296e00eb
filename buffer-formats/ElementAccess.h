// Single elements: the raw element of every family, and the element as
// components for the formats without colour meaning (mono, signed, the
// three-plane codes and the point formats).
#pragma once

#include <algorithm>
#include <array>
#include <bit>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

static_assert(std::endian::native == std::endian::little, "elements are little-endian in memory");

template <unsigned Size, class Mover>
std::uint32_t ElementTransfer(const BufferDescriptor& buffer, std::uint32_t x, std::uint32_t y,
                              Mover mover, std::uint32_t size) {
  if (const std::uint32_t status = CheckPosition(buffer, x, y)) return status;
  if (mover.memory == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  if (size < Size) return FmtStatus(5, kFmtKindOutOfRange);
  mover.Move(ElementAddress<Size>(buffer, x, y), 0, Size);
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyGetElement(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                               void* memory, std::uint32_t size) {
  return ElementTransfer<Size>(*buffer, x, y, Direction(memory), size);
}

template <unsigned Size>
std::uint32_t FamilySetElement(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                               const void* memory, std::uint32_t size) {
  return ElementTransfer<Size>(*buffer, x, y, Direction(memory), size);
}

// Components of the formats whose element is its own value (MONO32, MONO64
// and the point formats): the element's bytes as they lie.
template <unsigned Size, class Mover>
std::uint32_t RawComponents(const BufferDescriptor& buffer, std::uint32_t x, std::uint32_t y,
                            Mover mover) {
  if (const std::uint32_t status = CheckPosition(buffer, x, y)) return status;
  if (mover.memory == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  mover.Move(ElementAddress<Size>(buffer, x, y), 0, Size);
  return kFmtOk;
}

// The 8- and 16-bit codes whose three planes hold one component each.
template <unsigned Size>
bool IsThreePlaneCode(std::uint32_t code) {
  constexpr std::uint32_t base = Size == 1 ? kBufferFormatRgbp8 : kBufferFormatRgbp16;
  return code == base || code == (base | 0x00400000) || code == (base | 0x00800000) ||
         code == (base | 0x00C00000);
}

template <unsigned Size>
std::uint32_t LoadSmall(const std::uint8_t* element) {
  if constexpr (Size == 1) {
    return element[0];
  } else {
    std::uint16_t value;
    std::memcpy(&value, element, sizeof value);
    return value;
  }
}

template <unsigned Size>
void StoreSmall(std::uint8_t* element, std::uint32_t value) {
  std::memcpy(element, &value, Size);
}

template <unsigned Size>
std::uint32_t SmallGetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                void* components) {
  if (const std::uint32_t status = CheckPosition(*buffer, x, y)) return status;
  if (components == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  if (IsThreePlaneCode<Size>(buffer->format)) {
    std::array<std::uint32_t, 3> values{};
    for (std::uint32_t plane = 0; plane < 3; ++plane) {
      values[plane] = LoadSmall<Size>(PlaneElementAddress<Size>(*buffer, plane, x, y));
    }
    std::memcpy(components, values.data(), sizeof values);
    return kFmtOk;
  }
  std::uint32_t value = LoadSmall<Size>(ElementAddress<Size>(*buffer, x, y));
  if (BufferFormatIsSigned(buffer->format)) {
    constexpr unsigned unusedBits = 32 - 8 * Size;
    value = std::uint32_t(std::int32_t(value << unusedBits) >> unusedBits);
  }
  std::memcpy(components, &value, sizeof value);
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t SmallSetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                const void* components) {
  if (const std::uint32_t status = CheckPosition(*buffer, x, y)) return status;
  if (components == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  std::array<std::uint32_t, 3> values{};
  const bool planar = IsThreePlaneCode<Size>(buffer->format);
  std::memcpy(values.data(), components, planar ? sizeof values : sizeof values[0]);
  if (planar) {
    for (std::uint32_t plane = 0; plane < 3; ++plane) {
      StoreSmall<Size>(PlaneElementAddress<Size>(*buffer, plane, x, y), values[plane]);
    }
  } else {
    StoreSmall<Size>(ElementAddress<Size>(*buffer, x, y), values[0]);
  }
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t RawGetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                              void* components) {
  return RawComponents<Size>(*buffer, x, y, Direction(components));
}

template <unsigned Size>
std::uint32_t RawSetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                              const void* components) {
  return RawComponents<Size>(*buffer, x, y, Direction(components));
}

// POINT and FPOINT: two 32-bit components, the two halves of the element.
inline std::uint32_t PointGetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                       void* components) {
  return RawComponents<8>(*buffer, x, y, Direction(components));
}

inline std::uint32_t PointSetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                       const void* components) {
  return RawComponents<8>(*buffer, x, y, Direction(components));
}

}  // namespace fmtops
