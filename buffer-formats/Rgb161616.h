// RGB161616: 48-bit elements of three 16-bit words (B, G, R in memory
// order), which no element-size family serves: its raw element and its clears
// are its own.
#pragma once

#include <cstdint>

#include "source/QelBuff/BufferDescriptor.h"

namespace fmtops {

std::uint32_t Rgb161616GetElement(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                  void* memory, std::uint32_t size);
std::uint32_t Rgb161616SetElement(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                  const void* memory, std::uint32_t size);
std::uint32_t Rgb161616Clear(const BufferDescriptor* buffer, std::uint32_t value);
std::uint32_t Rgb161616ClearElement(const BufferDescriptor* buffer, const void* element,
                                    std::uint32_t length);

}  // namespace fmtops
