// Memory windows of BAR 0: blocks of plain on-chip memory (lookup tables and
// similar) that the driver reads and writes word by word. Their contents are
// undefined at power-on; the model starts them at 0.
// Windows: 0x4000-0x4FFF, 0x7000-0xF3FF (without the window engine's
// descriptors 0x7F00-0x7FFF, onboard_memory.h),
// 0x15000-0x157FF and 0x16000-0x16FFF. Reads of 0x15000-0x1501C are the host
// message window instead (host_messages.h).
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
