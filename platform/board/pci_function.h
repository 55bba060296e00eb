// The board's PCI function: a type 0 header with one 32-bit memory BAR for the
// register space, a level-sensitive INTA, and a capability list (power
// management, then PCI Express).
//
// BAR 0 holds 96 register blocks of 1024 bytes (0x18000 bytes); a BAR decodes
// a power of two, so it claims 0x20000 and the top 0x8000 bytes decode to
// nothing (logged, all ones).
#pragma once

#include <cstdint>

#include "platform/board/config_space.h"
#include "platform/board/presets.h"

namespace plat::board {

inline constexpr std::uint64_t kRegisterSpaceSize = 0x18000;
inline constexpr std::uint64_t kBar0Size = 0x20000;
// The bus gives board n's BAR 0 the 1 MiB window kBarWindowBase + n MiB.
inline constexpr std::uint64_t kBarWindowBase = 0xE0000000;
inline constexpr std::uint64_t kBarWindowStride = 0x100000;

// A frame grabber is a multimedia video controller.
inline constexpr std::uint32_t kFunctionClassCode = 0x040000;

inline constexpr std::uint32_t kFunctionPowerCapability = 0x40;
inline constexpr std::uint32_t kFunctionExpressCapability = 0x50;

// The function's space as the bus leaves it after enumeration: BAR assigned,
// memory decoding and bus mastering on, interrupt line routed.
ConfigSpace make_function_config(const BoardPreset& preset, int index);

std::uint64_t function_bar0_address(const ConfigSpace& space);
bool function_memory_enabled(const ConfigSpace& space);
bool function_bus_master(const ConfigSpace& space);
bool function_interrupt_disabled(const ConfigSpace& space);

}  // namespace plat::board
