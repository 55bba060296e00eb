// The processor as a program sees it: identification leaves and the number of
// processors the system gives the process.
#pragma once

#include <cstdint>

namespace plat {

struct CpuidRegisters {
  std::uint32_t eax;
  std::uint32_t ebx;
  std::uint32_t ecx;
  std::uint32_t edx;
};

// The processor's answer to an identification leaf; all zero for a leaf above
// the highest one it offers.
CpuidRegisters cpuid(std::uint32_t leaf);

// Processors the process may run on (at least 1).
std::uint32_t processor_count();

}  // namespace plat
