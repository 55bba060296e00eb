#include "platform/win/processor.h"

#include <sched.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace plat {

CpuidRegisters cpuid(std::uint32_t leaf) {
  CpuidRegisters registers{};
#if defined(__x86_64__) || defined(__i386__)
  // __get_cpuid refuses leaves above the highest basic one itself.
  if (__get_cpuid(leaf, &registers.eax, &registers.ebx, &registers.ecx, &registers.edx) == 0)
    registers = {};
#else
  (void)leaf;
#endif
  return registers;
}

std::uint32_t processor_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<std::uint32_t>(count);
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::uint32_t>(online) : 1u;
}

}  // namespace plat
