#include "platform/win/memory_probe.h"

#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace plat {

// The kernel copies the range on the process's behalf and reports a fault as
// a short count instead of a signal.
bool memory_readable(const void* address, std::size_t size) {
  if (address == nullptr) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(address);
  if (size > UINTPTR_MAX - start) return false;
  std::array<char, 4096> sink{};
  std::size_t done = 0;
  while (done < size) {
    const std::size_t chunk = size - done < sink.size() ? size - done : sink.size();
    iovec local{sink.data(), chunk};
    iovec remote{reinterpret_cast<void*>(start + done), chunk};
    const ssize_t copied = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (copied != static_cast<ssize_t>(chunk)) return false;
    done += chunk;
  }
  return true;
}

}  // namespace plat
