#include "platform/board/onboard_memory.h"

#include <algorithm>
#include <cstring>

namespace plat::board {

namespace {

constexpr std::uint64_t kMaxSize = 1ull << 32;
constexpr std::uint32_t kDescriptorWords = 8;
constexpr std::uint32_t kCountMask = 0xFFF;

enum class Direction { kWindowToMemory, kMemoryToWindow };

// A descriptor pair: A at `first`, B 0x20 above it.
struct JobPair {
  std::uint32_t first;
  Direction direction;
};
constexpr JobPair kPairs[] = {
    {0x7F80, Direction::kWindowToMemory}, {0x7FC0, Direction::kMemoryToWindow},
    {0x7F00, Direction::kWindowToMemory}, {0x7F40, Direction::kMemoryToWindow},
};

std::uint32_t descriptor_word(const OnboardMemory& memory, std::uint32_t offset) {
  return memory.descriptors[(offset - kOnboardDescriptors) / 4];
}

std::uint8_t window_byte(const MemoryWindows& windows, std::uint32_t i) {
  return static_cast<std::uint8_t>(windows.words[(kOnboardWindow + i) / 4] >> (8 * (i % 4)));
}

void set_window_byte(MemoryWindows& windows, std::uint32_t i, std::uint8_t byte) {
  std::uint32_t& word = windows.words[(kOnboardWindow + i) / 4];
  const std::uint32_t shift = 8 * (i % 4);
  word = (word & ~(0xFFu << shift)) | (std::uint32_t{byte} << shift);
}

void run_job(OnboardMemory& memory, MemoryWindows& windows, const JobPair& pair) {
  const std::uint32_t address = descriptor_word(memory, pair.first);
  const std::uint32_t count = std::min(descriptor_word(memory, pair.first + 0x20 + 8) & kCountMask,
                                       kOnboardWindowBytes);
  std::array<std::uint8_t, kOnboardWindowBytes> bytes{};
  if (pair.direction == Direction::kWindowToMemory) {
    for (std::uint32_t i = 0; i < count; ++i) bytes[i] = window_byte(windows, i);
    onboard_memory_copy_in(memory, address, bytes.data(), count);
  } else {
    onboard_memory_copy_out(memory, address, bytes.data(), count);
    for (std::uint32_t i = 0; i < count; ++i) set_window_byte(windows, i, bytes[i]);
  }
  ++memory.jobs;
}

std::uint64_t aliased(const OnboardMemory& memory, std::uint64_t address) {
  return memory.size == 0 ? address % kMaxSize : address % memory.size;
}

// Bytes from the aliased address `at` to the end of its page or of the
// memory (where the addresses wrap), at most `count`.
std::uint64_t run_length(const OnboardMemory& memory, std::uint64_t at, std::uint64_t count) {
  const std::uint64_t size = memory.size == 0 ? kMaxSize : memory.size;
  const std::uint64_t page_end = (at / kOnboardPageBytes + 1) * kOnboardPageBytes;
  return std::min({count, page_end - at, size - at});
}

}  // namespace

void onboard_memory_set_size(OnboardMemory& memory, std::uint32_t megabytes) {
  const std::uint64_t bytes = std::uint64_t{megabytes} << 20;
  memory.size = bytes == 0 || bytes > kMaxSize ? kMaxSize : bytes;
}

bool onboard_memory_read(const OnboardMemory& memory, std::uint32_t offset, std::uint32_t* value) {
  if (offset < kOnboardDescriptors || offset >= kOnboardDescriptorsEnd || offset % 4 != 0) return false;
  *value = descriptor_word(memory, offset);
  return true;
}

bool onboard_memory_write(OnboardMemory& memory, MemoryWindows& windows, InterruptBlock& interrupts,
                          std::uint32_t offset, std::uint32_t value) {
  if (offset < kOnboardDescriptors || offset >= kOnboardDescriptorsEnd || offset % 4 != 0) return false;
  memory.descriptors[(offset - kOnboardDescriptors) / 4] = value;
  for (const JobPair& pair : kPairs) {
    if (offset != pair.first + 0x20 + 4 * (kDescriptorWords - 1)) continue;
    // Clearing the descriptor block (as a register map build does) starts nothing.
    if ((descriptor_word(memory, pair.first + 0x20 + 8) & kCountMask) == 0) continue;
    run_job(memory, windows, pair);
    interrupt_block_raise(interrupts, kRegMainStatus, kOnboardJobDone);
  }
  return true;
}

void onboard_memory_copy_out(const OnboardMemory& memory, std::uint64_t address, std::uint8_t* out,
                             std::uint64_t count) {
  while (count > 0) {
    const std::uint64_t at = aliased(memory, address);
    const std::uint64_t run = run_length(memory, at, count);
    const auto page = memory.pages.find(at / kOnboardPageBytes);
    if (page == memory.pages.end())
      std::memset(out, 0, run);
    else
      std::memcpy(out, page->second->data() + at % kOnboardPageBytes, run);
    out += run;
    address += run;
    count -= run;
  }
}

void onboard_memory_copy_in(OnboardMemory& memory, std::uint64_t address, const std::uint8_t* bytes,
                            std::uint64_t count) {
  while (count > 0) {
    const std::span<std::uint8_t> run = onboard_memory_run(memory, address, count);
    std::memcpy(run.data(), bytes, run.size());
    bytes += run.size();
    address += run.size();
    count -= run.size();
  }
}

std::span<std::uint8_t> onboard_memory_run(OnboardMemory& memory, std::uint64_t address, std::uint64_t count) {
  const std::uint64_t at = aliased(memory, address);
  auto& page = memory.pages[at / kOnboardPageBytes];
  if (!page) page = std::make_unique<std::array<std::uint8_t, kOnboardPageBytes>>();
  return std::span<std::uint8_t>(page->data() + at % kOnboardPageBytes, run_length(memory, at, count));
}

}  // namespace plat::board
