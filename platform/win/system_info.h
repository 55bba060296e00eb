// The operating system's version as programs ask for it.
#pragma once

#include <cstdint>

namespace plat {

struct OsVersion {
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  std::uint32_t platform_id;  // 2: the NT family
};

// The machine reports 6.1 (build 7601), so code that needs version 6 or more
// for physical-memory services takes that road.
OsVersion os_version();

// Entry points of the platform's own system modules, by module and symbol
// name ("kernel32", "MapUserPhysicalPages"), as a program that looks a service
// up at run time expects them; null (last error kErrorProcNotFound) when the
// machine cannot offer the service now.
void* find_system_procedure(const char* module, const char* symbol);

}  // namespace plat
