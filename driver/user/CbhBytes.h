// Byte-level helpers of the firmware header operations. The records are
// read through these instead of being cast, so that a caller's buffer of any
// alignment and size is safe to look at.
#pragma once

#include <cstdint>
#include <cstring>

namespace cbh_detail {

inline std::uint16_t load_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t load_u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void store_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void store_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The text rule of the comment fields: a text that fills the destination
// (with its terminator) is copied cut and unterminated, a shorter one is
// copied terminated. The source is never read past `sourceCapacity`.
inline void copy_text(char* destination, std::uint32_t destinationSize, const char* source,
                      std::uint32_t sourceCapacity) {
  if (destinationSize == 0) return;
  const std::size_t length = strnlen(source, sourceCapacity);
  if (length + 1 >= destinationSize) {
    const std::size_t count = length < destinationSize ? length : destinationSize;
    std::memcpy(destination, source, count);
    if (count < destinationSize) destination[count] = '\0';
    return;
  }
  std::memcpy(destination, source, length);
  destination[length] = '\0';
}

}  // namespace cbh_detail
