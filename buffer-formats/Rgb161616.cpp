// RGB161616: 48-bit elements of three 16-bit words, which no element-size
// family serves; its raw element and its clears are its own.
#include "buffer-formats/Rgb161616.h"
#include "buffer-formats/ElementAccess.h"
#include "buffer-formats/ElementClear.h"

namespace fmtops {

constexpr unsigned kRgb161616Bytes = 6;

std::uint32_t Rgb161616GetElement(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                  void* memory, std::uint32_t size) {
  return FamilyGetElement<kRgb161616Bytes>(buffer, x, y, memory, size);
}

std::uint32_t Rgb161616SetElement(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                  const void* memory, std::uint32_t size) {
  return FamilySetElement<kRgb161616Bytes>(buffer, x, y, memory, size);
}

// Every word of every element takes the 16-bit value. A buffer whose lines
// follow each other is still cleared line by line over its own height only:
// a child that spans its parent's width must not reach the parent's lines
// below it.
std::uint32_t Rgb161616Clear(const BufferDescriptor* buffer, std::uint32_t value) {
  const std::uint16_t word = std::uint16_t(value);
  ElementPattern<kRgb161616Bytes> pattern;
  for (unsigned k = 0; k < kRgb161616Bytes; k += 2) std::memcpy(pattern.data() + k, &word, 2);
  FillElements<kRgb161616Bytes>(*buffer, pattern);
  return kFmtOk;
}

std::uint32_t Rgb161616ClearElement(const BufferDescriptor* buffer, const void* element,
                                    std::uint32_t length) {
  return FamilyClearElement<kRgb161616Bytes>(buffer, element, length);
}

}  // namespace fmtops
