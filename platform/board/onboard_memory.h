// On-board (FPGA local) memory and the window engine that moves it to and
// from a data window of BAR 0.
//
// Memory: sized from the main EEPROM's bank sizes (eeprom_images.h), sparse
// (pages are made at their first write; unwritten bytes read 0). Addresses
// alias at the size: byte a is byte a mod size, as on a board whose upper
// address lines are not decoded.
//
// Window engine, registers of BAR 0:
// - 0x4000-0x47FF data window (2048 bytes, part of the memory windows).
// - Job descriptors, each 8 words written word by word: descriptor A (word 0
//   the local address, word 2 the engine value) then descriptor B (word 2
//   bits 0..11 the byte count). Writing word 7 of descriptor B starts the job
//   (a count of 0 starts nothing).
//   Engine 0: window-to-memory pair 0x7F80 / 0x7FA0, memory-to-window pair
//   0x7FC0 / 0x7FE0; engine 1: 0x7F00 / 0x7F20 and 0x7F40 / 0x7F60.
//   Descriptor words read back as written.
// - The end of a job latches main status bit 6. The model moves the bytes at
//   once, while the write that starts the job runs; the driver still meets
//   the completion through the interrupt.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>

#include "platform/board/interrupt_block.h"
#include "platform/board/memory_windows.h"

namespace plat::board {

inline constexpr std::uint32_t kOnboardWindow = 0x4000;
inline constexpr std::uint32_t kOnboardWindowBytes = 2048;
inline constexpr std::uint32_t kOnboardDescriptors = 0x7F00;
inline constexpr std::uint32_t kOnboardDescriptorsEnd = 0x8000;
inline constexpr std::uint32_t kOnboardJobDone = 1u << 6;  // main status
inline constexpr std::uint32_t kOnboardPageBytes = 1u << 16;

struct OnboardMemory {
  std::uint64_t size = 0;  // bytes; set from the EEPROM when the board is made
  std::unordered_map<std::uint64_t, std::unique_ptr<std::array<std::uint8_t, kOnboardPageBytes>>> pages;
  std::array<std::uint32_t, (kOnboardDescriptorsEnd - kOnboardDescriptors) / 4> descriptors{};
  std::uint64_t jobs = 0;  // jobs run, for tests
};

// Size from the main EEPROM's megabytes (0 or above 4 GiB: 4 GiB).
void onboard_memory_set_size(OnboardMemory& memory, std::uint32_t megabytes);

// Descriptor registers; false for any other offset.
bool onboard_memory_read(const OnboardMemory& memory, std::uint32_t offset, std::uint32_t* value);
bool onboard_memory_write(OnboardMemory& memory, MemoryWindows& windows, InterruptBlock& interrupts,
                          std::uint32_t offset, std::uint32_t value);

// Bytes of the memory, aliased at its size, copied a page at a time.
void onboard_memory_copy_out(const OnboardMemory& memory, std::uint64_t address, std::uint8_t* out,
                             std::uint64_t count);
void onboard_memory_copy_in(OnboardMemory& memory, std::uint64_t address, const std::uint8_t* bytes,
                            std::uint64_t count);

// The run of bytes from `address` (aliased) that lies in one page, at most
// `count` long, for whoever fills the memory in place; the page is made when
// it does not exist yet. A caller walks a longer range run after run.
std::span<std::uint8_t> onboard_memory_run(OnboardMemory& memory, std::uint64_t address, std::uint64_t count);

}  // namespace plat::board
