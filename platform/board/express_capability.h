// The PCI Express capability both the board's function and its bridge carry:
// link width and speed (what the board library reads back), device control
// with the error-reporting enables (what it masks on the bridge around an FPGA
// reload).
#pragma once

#include <cstdint>

#include "platform/board/config_space.h"

namespace plat::board {

inline constexpr std::uint8_t kExpPortEndpoint = 0x0;
inline constexpr std::uint8_t kExpPortRoot = 0x4;

// Link speed code 1: 2.5 GT/s.
inline constexpr std::uint8_t kExpLinkSpeed2_5 = 1;

struct ExpressLink {
  std::uint8_t port_type;
  std::uint8_t max_width, width;
  std::uint8_t max_speed, speed;
};

// Writes the capability at `at` (id, next pointer, registers, write masks).
void add_express_capability(ConfigSpace& space, std::uint32_t at, std::uint8_t next,
                            const ExpressLink& link);

}  // namespace plat::board
