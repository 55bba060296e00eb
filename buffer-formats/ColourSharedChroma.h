// Formats in which neighbouring pixels share their chroma: a group of pixels
// keeps one U and one V beside each pixel's Y, so writing one pixel rewrites
// the chroma of its whole group. A group that the line's width cuts short
// (a line of odd width, or of a width that is no multiple of four) has only
// the bytes inside the line: its missing chroma reads as 0 and is never
// written.
#pragma once

#include <array>

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

// YUY2 and YUYV: pairs Y0 U Y1 V; UYVY: pairs U Y0 V Y1; Y411: groups of
// four pixels in six bytes, U Y0 Y1 V Y2 Y3.
struct ChromaGroupLayout {
  std::uint32_t pixels;
  std::uint32_t groupBytes;
  std::array<std::uint8_t, 4> yByte;  // of each pixel of the group
  std::uint8_t uByte;
  std::uint8_t vByte;
};

inline constexpr ChromaGroupLayout kYuy2{2, 4, {0, 2}, 1, 3};
inline constexpr ChromaGroupLayout kUyvy{2, 4, {1, 3}, 0, 2};
inline constexpr ChromaGroupLayout kY411{4, 6, {1, 2, 4, 5}, 0, 3};

constexpr std::uint64_t BitsPerPixel(const ChromaGroupLayout& layout) {
  return layout.groupBytes * 8 / layout.pixels;
}

// The bytes of one line's groups: where the line starts and how far its
// pixels reach. Lines lie a pitch of pixels apart, rounded up to whole bytes
// as the buffer module lays out a line of odd pitch (Y411), so that its files
// and child buffers see the same lines.
struct GroupLine {
  std::uint8_t* start;
  std::uint64_t bytes;
};

inline GroupLine LineOf(const BufferDescriptor& buffer, const ChromaGroupLayout& layout,
                        std::uint32_t y) {
  const std::uint64_t bits = BitsPerPixel(layout);
  const std::uint64_t lineStride = (std::uint64_t{buffer.pitch} * bits + 7) / 8;
  return {BufferBytes(buffer) + y * lineStride, (std::uint64_t{buffer.width} * bits + 7) / 8};
}

// The group that holds pixel x, with the bytes of it that lie in the line.
struct PixelGroup {
  std::uint8_t* group;
  std::uint64_t present;  // bytes of the group inside the line
  std::uint32_t pixel;    // position of x in the group
};

inline PixelGroup GroupOf(const BufferDescriptor& buffer, const ChromaGroupLayout& layout,
                          std::uint32_t x, std::uint32_t y) {
  const GroupLine line = LineOf(buffer, layout, y);
  const std::uint64_t offset = std::uint64_t{x / layout.pixels} * layout.groupBytes;
  const std::uint64_t present = line.bytes - offset;
  return {line.start + offset, present < layout.groupBytes ? present : layout.groupBytes,
          x % layout.pixels};
}

template <const ChromaGroupLayout& layout>
std::uint32_t GroupGetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                void* components) {
  if (const std::uint32_t status = CheckPosition(*buffer, x, y)) return status;
  if (components == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  const PixelGroup group = GroupOf(*buffer, layout, x, y);
  const auto byte = [&](std::uint8_t k) -> std::uint32_t { return k < group.present ? group.group[k] : 0; };
  const std::array<std::uint32_t, 3> values{byte(layout.yByte[group.pixel]), byte(layout.uByte),
                                            byte(layout.vByte)};
  std::memcpy(components, values.data(), sizeof values);
  return kFmtOk;
}

template <const ChromaGroupLayout& layout>
std::uint32_t GroupSetElementEx(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                const void* components) {
  if (const std::uint32_t status = CheckPosition(*buffer, x, y)) return status;
  if (components == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  std::array<std::uint32_t, 3> values;
  std::memcpy(values.data(), components, sizeof values);
  const PixelGroup group = GroupOf(*buffer, layout, x, y);
  const auto store = [&](std::uint8_t k, std::uint32_t value) {
    if (k < group.present) group.group[k] = std::uint8_t(value);
  };
  store(layout.yByte[group.pixel], values[0]);
  store(layout.uByte, values[1]);
  store(layout.vByte, values[2]);
  return kFmtOk;
}

// Every group of every line takes the given group; the last group of a line
// whose width is no multiple of four is cut at the line's end.
std::uint32_t Y411ClearElement(const BufferDescriptor* buffer, const void* group, std::uint32_t length);

}  // namespace fmtops
