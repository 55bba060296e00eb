// How often each register of BAR 0 was written since the board was made: a
// test reads the count of a register through the control interface and so
// sees how many times the host programmed it, whichever block owns it.
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegisterWords = 0x18000 / 4;

struct RegisterWrites {
  std::array<std::uint32_t, kRegisterWords> counts{};
};

}  // namespace plat::board
