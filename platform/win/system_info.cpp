#include "platform/win/system_info.h"

#include <strings.h>

#include <string_view>

#include "platform/win/errors.h"
#include "platform/win/physical_memory.h"

namespace plat {

namespace {

std::int32_t allocate_user_physical_pages(Handle, std::uint64_t* number_of_pages, std::uint64_t* page_array) {
  return allocate_physical_pages(0, 0, number_of_pages, page_array) ? 1 : 0;
}

std::int32_t free_user_physical_pages(Handle, std::uint64_t* number_of_pages, std::uint64_t* page_array) {
  return free_physical_pages(number_of_pages, page_array) ? 1 : 0;
}

std::int32_t map_user_physical_pages(void* address, std::uint64_t number_of_pages, std::uint64_t* page_array) {
  return map_physical_pages(address, number_of_pages, page_array) ? 1 : 0;
}

struct SystemProcedure {
  const char* symbol;
  void* entry;
};

const SystemProcedure kKernel32[] = {
    {"AllocateUserPhysicalPages", reinterpret_cast<void*>(&allocate_user_physical_pages)},
    {"FreeUserPhysicalPages", reinterpret_cast<void*>(&free_user_physical_pages)},
    {"MapUserPhysicalPages", reinterpret_cast<void*>(&map_user_physical_pages)},
};

bool is_kernel32(const char* module) {
  return strcasecmp(module, "kernel32") == 0 || strcasecmp(module, "kernel32.dll") == 0;
}

}  // namespace

OsVersion os_version() { return OsVersion{6, 1, 7601, 2}; }

void* find_system_procedure(const char* module, const char* symbol) {
  if (module != nullptr && symbol != nullptr && is_kernel32(module)) {
    for (const SystemProcedure& p : kKernel32) {
      // The physical-page services need the memory driver of a running kernel host.
      if (std::string_view(p.symbol) == symbol && physical_arena(nullptr)) return p.entry;
    }
  }
  set_last_error(kErrorProcNotFound);
  return nullptr;
}

}  // namespace plat
