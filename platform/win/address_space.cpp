#include "platform/win/address_space.h"

#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/win/errors.h"

namespace plat {
namespace {

// Reservations of this module's copy, by start, with their length.
std::mutex reservations_guard;
std::map<void*, std::size_t>& reservations() {
  static std::map<void*, std::size_t> ranges;
  return ranges;
}

std::size_t page_size() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

}  // namespace

void* reserve_address_space(std::size_t size) {
  if (size == 0) {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  const std::size_t length = (size + page_size() - 1) / page_size() * page_size();
  void* address = ::mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (address == MAP_FAILED) {
    set_last_error(kErrorNotEnoughMemory);
    return nullptr;
  }
  std::lock_guard lock(reservations_guard);
  reservations()[address] = length;
  return address;
}

bool commit_address_space(void* address, std::size_t size) {
  const auto start = reinterpret_cast<std::uintptr_t>(address) / page_size() * page_size();
  const auto end = reinterpret_cast<std::uintptr_t>(address) + size;
  bool inside = false;
  {
    std::lock_guard lock(reservations_guard);
    auto found = reservations().upper_bound(reinterpret_cast<void*>(start));
    if (found != reservations().begin() && size != 0 && end > start) {
      --found;
      const auto base = reinterpret_cast<std::uintptr_t>(found->first);
      inside = start >= base && end <= base + found->second;
    }
  }
  if (!inside || ::mprotect(reinterpret_cast<void*>(start), end - start, PROT_READ | PROT_WRITE) != 0) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  return true;
}

bool release_address_space(void* address) {
  std::size_t length = 0;
  {
    std::lock_guard lock(reservations_guard);
    auto found = reservations().find(address);
    if (found == reservations().end()) {
      set_last_error(kErrorInvalidParameter);
      return false;
    }
    length = found->second;
    reservations().erase(found);
  }
  ::munmap(address, length);
  return true;
}

}  // namespace plat
