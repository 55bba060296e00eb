// Memory windows of BAR 0: blocks of plain on-chip memory (lookup tables and
// similar) that the driver reads and writes word by word. Their contents are
// undefined at power-on; the model starts them at 0.
// Windows: 0x4000-0x4FFF, 0x7000-0xF3FF (without 0x7F80-0x7FFF),
// 0x15000-0x157FF and 0x16000-0x16FFF.
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kMemoryWindowWords = 0x18000 / 4;

struct MemoryWindows {
  std::array<std::uint32_t, kMemoryWindowWords> words{};
};

bool memory_window_contains(std::uint32_t offset);
bool memory_windows_read(const MemoryWindows& windows, std::uint32_t offset, std::uint32_t* value);
bool memory_windows_write(MemoryWindows& windows, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
