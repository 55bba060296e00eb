// The caller's memory at addresses named inside its records, reached from the
// host with process_vm_readv/writev (the client allowed it when it connected).
#include <sys/uio.h>

#include "platform/kernel/transport_server.h"

namespace plat::kernel {
namespace {

// The pid alone could belong to a newer process by now.
bool still_the_client(const ClientInfo& client) {
  return client.process.pid > 0 &&
         process_start_time(client.process.pid) == client.process.start_time;
}

bool valid_range(std::uint64_t address, std::size_t size) {
  return address != 0 && address + size >= address;
}

}  // namespace

bool read_client_memory(const ClientInfo& client, std::uint64_t address, std::span<std::byte> out) {
  if (out.empty()) return true;
  if (!valid_range(address, out.size()) || !still_the_client(client)) return false;
  iovec local{out.data(), out.size()};
  iovec remote{reinterpret_cast<void*>(address), out.size()};
  ssize_t n = ::process_vm_readv(client.process.pid, &local, 1, &remote, 1, 0);
  return n == static_cast<ssize_t>(out.size());
}

bool write_client_memory(const ClientInfo& client, std::uint64_t address,
                         std::span<const std::byte> data) {
  if (data.empty()) return true;
  if (!valid_range(address, data.size()) || !still_the_client(client)) return false;
  iovec local{const_cast<std::byte*>(data.data()), data.size()};
  iovec remote{reinterpret_cast<void*>(address), data.size()};
  ssize_t n = ::process_vm_writev(client.process.pid, &local, 1, &remote, 1, 0);
  return n == static_cast<ssize_t>(data.size());
}

}  // namespace plat::kernel
