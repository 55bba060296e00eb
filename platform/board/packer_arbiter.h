// The arbitrator behind each grab controller's pixel packer: it hands packed
// words, list entry by list entry, to the acquisition DMA channels. The host
// writes a shadow list, asks for a swap by setting bit 0 of the swap register
// and waits for the bit to read back set; it then rewrites the main list and
// clears the bit, waiting again for it to read back clear. The arbitrator
// runs on the shadow list while the bit is set and on the main list once it
// is cleared, so it always runs on a complete list.
//
// This model takes a swap at once: the request bit reads back as soon as it
// is written. The list registers themselves stay plain write-only registers
// (a test peeks them); the arbitrator only watches their writes.
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegArbiterSwap = 0x3038;
inline constexpr std::uint32_t kRegArbiterMainList = 0x3300;
inline constexpr std::uint32_t kRegArbiterShadowList = 0x3380;
inline constexpr std::uint32_t kArbiterSwapRequest = 0x1;
inline constexpr std::uint32_t kArbiterEntries = 10;
inline constexpr std::uint32_t kArbiterWindows = 2;  // grab controllers, 0x400 apart
inline constexpr std::uint32_t kArbiterWindowStride = 0x400;

// An entry: control word then selector word.
using ArbiterList = std::array<std::uint32_t, 2 * kArbiterEntries>;

struct ArbiterWindow {
  ArbiterList main{};
  ArbiterList shadow{};
  ArbiterList live{};  // the list the arbitrator runs on
  bool on_shadow = false;
  std::uint32_t swaps = 0;  // completed switches, either way
};

struct PackerArbiter {
  std::array<ArbiterWindow, kArbiterWindows> windows{};
};

// Watches a register write; the write still goes to the plain registers.
void packer_arbiter_write(PackerArbiter& arbiter, std::uint32_t offset, std::uint32_t value);
// Adds the arbitrator's acknowledgement to a read of the swap register.
void packer_arbiter_read(const PackerArbiter& arbiter, std::uint32_t offset, std::uint32_t* value);

}  // namespace plat::board
