// Colour formats whose components are bit fields of one element: where each
// component lies, and the component access that moves those fields.
#pragma once

#include <array>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

struct ComponentField {
  std::uint8_t shift;  // of the field in the little-endian element
  std::uint8_t bits;
};

struct PackedLayout {
  std::uint8_t elementBytes;
  std::uint8_t componentCount;
  std::uint8_t componentBytes;  // width of a component in the caller's block
  std::array<ComponentField, 4> fields;
  std::uint64_t keptBits;  // bits of the element that a write leaves as they are
};

inline constexpr PackedLayout kLayoutRgb5551{2, 3, 4, {{{10, 5}, {5, 5}, {0, 5}}}, 0};
inline constexpr PackedLayout kLayoutRgb565{2, 3, 4, {{{11, 5}, {5, 6}, {0, 5}}}, 0};
inline constexpr PackedLayout kLayoutRgb888{3, 3, 4, {{{16, 8}, {8, 8}, {0, 8}}}, 0};
inline constexpr PackedLayout kLayoutRgbr888{3, 3, 4, {{{0, 8}, {8, 8}, {16, 8}}}, 0};
inline constexpr PackedLayout kLayoutUyv{3, 3, 4, {{{8, 8}, {0, 8}, {16, 8}}}, 0};
// RGB8888, HSV, YUV and HSI share one pair of handlers; LAB has its own.
inline constexpr PackedLayout kLayoutRgb8888{4, 3, 4, {{{16, 8}, {8, 8}, {0, 8}}}, 0xFF000000};
inline constexpr PackedLayout kLayoutLab{4, 3, 4, {{{16, 8}, {8, 8}, {0, 8}}}, 0xFF000000};
inline constexpr PackedLayout kLayout101010{4, 3, 4, {{{20, 10}, {10, 10}, {0, 10}}}, 0};
inline constexpr PackedLayout kLayoutRgb161616{6, 3, 4, {{{32, 16}, {16, 16}, {0, 16}}}, 0};
inline constexpr PackedLayout kLayout16161616{8, 4, 2, {{{48, 16}, {32, 16}, {16, 16}, {0, 16}}}, 0};
inline constexpr PackedLayout kLayoutFloat{4, 1, 4, {{{0, 32}}}, 0};
inline constexpr PackedLayout kLayoutComplex{8, 2, 4, {{{0, 32}, {32, 32}}}, 0};

constexpr std::uint64_t FieldMask(const ComponentField& field) {
  return (std::uint64_t{1} << field.bits) - 1;
}

template <const PackedLayout& Layout>
std::uint32_t PackedGetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                 void* components) {
  if (const std::uint32_t status = CheckPosition(*buffer, x, y)) return status;
  if (components == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  std::uint64_t element = 0;
  std::memcpy(&element, ElementAddress<Layout.elementBytes>(*buffer, x, y), Layout.elementBytes);
  auto* out = static_cast<std::uint8_t*>(components);
  for (std::uint32_t k = 0; k < Layout.componentCount; ++k) {
    const std::uint32_t value = std::uint32_t((element >> Layout.fields[k].shift) & FieldMask(Layout.fields[k]));
    std::memcpy(out + k * Layout.componentBytes, &value, Layout.componentBytes);
  }
  return kFmtOk;
}

template <const PackedLayout& Layout>
std::uint32_t PackedSetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                 const void* components) {
  if (const std::uint32_t status = CheckPosition(*buffer, x, y)) return status;
  if (components == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  std::uint8_t* address = ElementAddress<Layout.elementBytes>(*buffer, x, y);
  std::uint64_t element = 0;
  std::memcpy(&element, address, Layout.elementBytes);
  element &= Layout.keptBits;
  const auto* in = static_cast<const std::uint8_t*>(components);
  for (std::uint32_t k = 0; k < Layout.componentCount; ++k) {
    std::uint32_t value = 0;
    std::memcpy(&value, in + k * Layout.componentBytes, Layout.componentBytes);
    element |= (value & FieldMask(Layout.fields[k])) << Layout.fields[k].shift;
  }
  std::memcpy(address, &element, Layout.elementBytes);
  return kFmtOk;
}

}  // namespace fmtops
