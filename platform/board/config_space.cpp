#include "platform/board/config_space.h"

namespace plat::board {

bool config_access_valid(std::uint32_t offset, std::uint32_t width) {
  if (width < 1 || width > 4 || offset >= kConfigSize) return false;
  return offset % 4 + width <= 4;
}

std::uint32_t config_all_ones(std::uint32_t width) {
  return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

std::uint32_t config_get(const ConfigSpace& space, std::uint32_t offset, std::uint32_t width) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < width; ++i) value |= std::uint32_t{space.bytes[offset + i]} << (8 * i);
  return value;
}

void config_set(ConfigSpace& space, std::uint32_t offset, std::uint32_t width, std::uint32_t value) {
  for (std::uint32_t i = 0; i < width; ++i)
    space.bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void config_set_writable(ConfigSpace& space, std::uint32_t offset, std::uint32_t width,
                         std::uint32_t mask) {
  for (std::uint32_t i = 0; i < width; ++i)
    space.writable[offset + i] = static_cast<std::uint8_t>(mask >> (8 * i));
}

void config_write_masked(ConfigSpace& space, std::uint32_t offset, std::uint32_t width,
                         std::uint32_t value) {
  for (std::uint32_t i = 0; i < width; ++i) {
    const std::uint8_t mask = space.writable[offset + i];
    const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
    space.bytes[offset + i] = static_cast<std::uint8_t>((space.bytes[offset + i] & ~mask) | (byte & mask));
  }
}

}  // namespace plat::board
