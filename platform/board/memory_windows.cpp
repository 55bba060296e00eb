#include "platform/board/memory_windows.h"

namespace plat::board {

namespace {

struct Window {
  std::uint32_t first, end;  // [first, end)
};

constexpr Window kWindows[] = {
    {0x4000, 0x5000}, {0x7000, 0x7F00}, {0x8000, 0xF400}, {0x15000, 0x15800}, {0x16000, 0x17000},
};

}  // namespace

bool memory_window_contains(std::uint32_t offset) {
  if (offset % 4 != 0) return false;
  for (const Window& window : kWindows)
    if (offset >= window.first && offset < window.end) return true;
  return false;
}

bool memory_windows_read(const MemoryWindows& windows, std::uint32_t offset, std::uint32_t* value) {
  if (!memory_window_contains(offset)) return false;
  *value = windows.words[offset / 4];
  return true;
}

bool memory_windows_write(MemoryWindows& windows, std::uint32_t offset, std::uint32_t value) {
  if (!memory_window_contains(offset)) return false;
  windows.words[offset / 4] = value;
  return true;
}

}  // namespace plat::board
