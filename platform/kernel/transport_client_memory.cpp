// The caller's memory at addresses named inside its records, reached from the
// host with process_vm_readv/writev (the client allowed it when it connected).
//
// A pid alone could belong to a newer process by now, so the process behind a
// client is checked against its start time: once at the handshake for a
// transport connection (whose process cannot change while it stands: its end
// is the connection's end), on every copy for any other caller.
#include <sys/uio.h>

#include <algorithm>
#include <shared_mutex>
#include <vector>

#include "platform/kernel/transport_connection.h"

namespace plat::kernel {
namespace {

struct Confirmed {
  std::shared_mutex mutex;
  std::vector<ClientInfo> clients;
};

Confirmed& confirmed() {
  static Confirmed instance;
  return instance;
}

bool same_client(const ClientInfo& a, const ClientInfo& b) {
  return a.connection_id == b.connection_id && a.process.pid == b.process.pid &&
         a.process.start_time == b.process.start_time;
}

bool confirmed_connection(const ClientInfo& client) {
  Confirmed& c = confirmed();
  std::shared_lock lock(c.mutex);
  return std::any_of(c.clients.begin(), c.clients.end(),
                     [&](const ClientInfo& known) { return same_client(known, client); });
}

bool still_the_client(const ClientInfo& client) {
  if (client.process.pid <= 0) return false;
  return confirmed_connection(client) || process_start_time(client.process.pid) == client.process.start_time;
}

bool valid_range(std::uint64_t address, std::size_t size) {
  return address != 0 && address + size >= address;
}

}  // namespace

namespace transport_host {

void client_identity_confirmed(const ClientInfo& client) {
  Confirmed& c = confirmed();
  std::unique_lock lock(c.mutex);
  c.clients.push_back(client);
}

void client_identity_forgotten(const ClientInfo& client) {
  Confirmed& c = confirmed();
  std::unique_lock lock(c.mutex);
  std::erase_if(c.clients, [&](const ClientInfo& known) { return same_client(known, client); });
}

}  // namespace transport_host

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
