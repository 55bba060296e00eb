// A buffer of one format over memory the test owns: guard bytes before and
// after the image and in the padding between width and pitch, so that a
// handler that strays is seen, and a descriptor filled as the buffer module
// fills it for a buffer it allocates.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "buffer-formats/BufferFormatOps.h"

inline constexpr std::uint8_t kGuardByte = 0xA5;
inline constexpr std::uint8_t kUntouchedByte = 0xEE;

// One representative format per element-size family.
inline constexpr std::uint32_t kFamilyFormats[] = {kBufferFormatMono8, kBufferFormatMono16,
                                                    kBufferFormatRgb888, kBufferFormatMono32,
                                                    kBufferFormatMono64};

class TestBuffer {
 public:
  static constexpr std::size_t kGuard = 64;

  TestBuffer(std::uint32_t format, std::uint32_t width, std::uint32_t height, std::uint32_t pitch = 0) {
    if (pitch == 0) pitch = width;
    desc_.format = format;
    desc_.formatIndex = BufferFormatIndex(format);
    desc_.bitsPerElement = BufferFormatBits(format);
    desc_.elementSize = BufferFormatElementSize(format);
    desc_.planes = BufferFormatPlanes(format);
    desc_.width = width;
    desc_.height = height;
    desc_.pitch = pitch;
    desc_.planeLines = height;
    desc_.bytesPerLine = (desc_.bitsPerElement * pitch + 7) >> 3;
    memory_.assign(kGuard * 2 + std::size_t{desc_.bytesPerLine} * height * desc_.planes, kGuardByte);
    desc_.dataAddress = reinterpret_cast<std::uintptr_t>(memory_.data() + kGuard);
    desc_.blockAddress = desc_.dataAddress;
  }

  BufferDescriptor* operator->() { return &desc_; }
  BufferDescriptor* desc() { return &desc_; }

  // A child view of width x height elements at (x, y), as the buffer module
  // makes one.
  BufferDescriptor Child(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height) const {
    BufferDescriptor child = desc_;
    child.regionX = x;
    child.regionY = y;
    child.width = width;
    child.height = height;
    child.dataAddress += ((desc_.bitsPerElement * x + 7) >> 3) + std::uint64_t{desc_.bytesPerLine} * y;
    child.parent = reinterpret_cast<std::uintptr_t>(&desc_);
    return child;
  }

  std::uint8_t* Image() { return memory_.data() + kGuard; }
  std::size_t ImageBytes() const { return memory_.size() - 2 * kGuard; }

  std::uint8_t* Element(std::uint32_t x, std::uint32_t y, std::uint32_t plane = 0) {
    return Image() + (std::size_t{plane} * desc_.planeLines + y) * desc_.bytesPerLine +
           std::size_t{x} * desc_.elementSize;
  }

  // The element's bytes as one little-endian value.
  std::uint64_t Value(std::uint32_t x, std::uint32_t y, std::uint32_t plane = 0) {
    std::uint64_t value = 0;
    std::memcpy(&value, Element(x, y, plane), desc_.elementSize);
    return value;
  }

  // Every element of every plane gets distinct bytes; the padding keeps its guard.
  void FillPattern(std::uint8_t seed = 1) {
    std::uint8_t next = seed;
    for (std::uint32_t plane = 0; plane < desc_.planes; ++plane)
      for (std::uint32_t y = 0; y < desc_.height; ++y)
        for (std::uint32_t x = 0; x < desc_.width; ++x)
          for (std::uint32_t k = 0; k < desc_.elementSize; ++k) {
            Element(x, y, plane)[k] = next;
            next = std::uint8_t(next * 5 + 3);
          }
  }

  std::vector<std::uint8_t> Snapshot() const { return memory_; }

  bool GuardsIntact() const {
    for (std::size_t k = 0; k < kGuard; ++k) {
      if (memory_[k] != kGuardByte || memory_[memory_.size() - 1 - k] != kGuardByte) return false;
    }
    return true;
  }

  bool PaddingIntact() {
    const std::size_t used = std::size_t{desc_.width} * desc_.elementSize;
    for (std::uint32_t line = 0; line < desc_.height * desc_.planes; ++line) {
      for (std::size_t k = used; k < desc_.bytesPerLine; ++k) {
        if (Image()[std::size_t{line} * desc_.bytesPerLine + k] != kGuardByte) return false;
      }
    }
    return true;
  }

 private:
  std::vector<std::uint8_t> memory_;
  BufferDescriptor desc_{};
};

// One operation through its table, as the buffer module dispatches it.
template <class Handler, class... Arguments>
std::uint32_t Dispatch(const FmtTable<Handler>& table, const BufferDescriptor* buffer,
                       Arguments... arguments) {
  return BufferFormatCall(table, buffer->formatIndex, buffer, arguments...);
}

inline std::vector<std::uint8_t> Untouched(std::size_t bytes) {
  return std::vector<std::uint8_t>(bytes, kUntouchedByte);
}
