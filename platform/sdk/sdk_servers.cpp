// This process's own server (command ranges), its ports and port servers, and
// the machine-wide server database with its lookups.
#include <cstring>

#include "platform/sdk/sdk_internal.h"

namespace qelapi::sdk {

namespace {

bool valid_name(const char* name) {
  return name != nullptr && name[0] != '\0' && std::strlen(name) < kServerNameSize;
}

QelServerHandle make_handle(std::uint32_t address, std::uint32_t entry, QelServerHandle* where) {
  QelServerHandle h{};
  h.address = address;
  h.record = entry + 1;
  h.tag = kServerTag;
  h.self = reinterpret_cast<std::uint64_t>(where);
  return h;
}

}  // namespace

// The servers a lookup by index sees, in table order: live ones only.
std::vector<std::uint32_t> live_servers_locked(SharedTables& t) {
  reclaim_dead_locked(t);
  std::vector<std::uint32_t> entries;
  for (std::uint32_t i = 0; i < kMaxServers; ++i)
    if (t.servers[i].in_use) entries.push_back(i);
  return entries;
}

}  // namespace qelapi::sdk

using namespace qelapi;
using namespace qelapi::sdk;

QELAPI_EXPORT std::uint32_t QelManInstallHandlers(std::uint32_t first, std::uint32_t last,
                                                  const QelCommandHandler* table, void** token) {
  if (table == nullptr || token == nullptr || last < first || last - first >= 0x10000) return kSdkBadArgument;
  auto* range = new HandlerRange{first, last, std::vector<QelCommandHandler>(table, table + (last - first + 1))};
  Process& p = process();
  std::lock_guard guard(p.mutex);
  p.ranges.push_back(range);
  *token = range;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManRemoveHandlers(void* token) {
  Process& p = process();
  std::lock_guard guard(p.mutex);
  for (auto it = p.ranges.begin(); it != p.ranges.end(); ++it) {
    if (*it != token) continue;
    delete *it;
    p.ranges.erase(it);
    return kSdkOk;
  }
  return kSdkBadArgument;
}

QELAPI_EXPORT std::uint32_t QelManInstallPortServer(std::uint32_t server, QelPortServerHandler handler,
                                                    std::uint32_t) {
  if (server >= 256) return kSdkOutOfRange;
  if (handler == nullptr) return kSdkBadArgument;
  if (!ensure_delivery()) return kSdkFailed;
  Process& p = process();
  std::lock_guard guard(p.mutex);
  if (p.port_servers[server] != nullptr) return kSdkInUse;
  p.port_servers[server] = handler;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManUninstallPortServer(std::uint32_t server) {
  if (server >= 256) return kSdkOutOfRange;
  Process& p = process();
  std::lock_guard guard(p.mutex);
  if (p.port_servers[server] == nullptr) return kSdkServerNotFound;
  p.port_servers[server] = nullptr;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManNewPort(std::uint32_t port, std::uint32_t server) {
  if (port >= 256 || server >= 256) return kSdkOutOfRange;
  Process& p = process();
  std::lock_guard guard(p.mutex);
  if (p.port_servers[server] == nullptr) return kSdkServerNotFound;
  if (p.port_server_of[port] >= 0 && p.port_server_of[port] != static_cast<std::int32_t>(server)) return kSdkInUse;
  p.port_server_of[port] = static_cast<std::int32_t>(server);
  ++p.port_use[port];
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManFreePort(std::uint32_t port) {
  if (port >= 256) return kSdkOutOfRange;
  Process& p = process();
  std::lock_guard guard(p.mutex);
  if (p.port_server_of[port] < 0) return kSdkServerNotFound;
  if (--p.port_use[port] == 0) p.port_server_of[port] = -1;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManGetPortAddress(std::uint32_t port, std::uint32_t* address) {
  if (port >= 256) return kSdkOutOfRange;
  if (address == nullptr) return kSdkBadArgument;
  Process& p = process();
  std::lock_guard guard(p.mutex);
  if (p.port_server_of[port] < 0) return kSdkServerNotFound;
  *address = port << 16;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManAddServerToDatabase(const char* name, std::uint32_t address) {
  if (!valid_name(name) || address == 0) return kSdkBadArgument;
  if (!ensure_delivery()) return kSdkFailed;
  TableGuard guard;
  if (!guard.held()) return kSdkFailed;
  SharedTables& t = *tables();
  reclaim_dead_locked(t);
  plat::ProcessIdentity me = plat::current_process();
  ServerEntry* free_entry = nullptr;
  for (ServerEntry& s : t.servers) {
    if (s.in_use && same_process(s.owner, me) && std::strcmp(s.name, name) == 0) return kSdkInUse;
    if (!s.in_use && free_entry == nullptr) free_entry = &s;
  }
  if (free_entry == nullptr) return kSdkNoMemory;
  std::memset(free_entry, 0, sizeof *free_entry);
  free_entry->in_use = 1;
  free_entry->address = address;
  free_entry->available = 1;
  free_entry->owner = me;
  std::strcpy(free_entry->name, name);
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManSetServerAccessible(const char* name, std::uint32_t address,
                                                      std::uint8_t accessible) {
  if (!valid_name(name)) return kSdkBadArgument;
  TableGuard guard;
  if (!guard.held()) return kSdkFailed;
  plat::ProcessIdentity me = plat::current_process();
  for (ServerEntry& s : tables()->servers) {
    if (s.in_use && same_process(s.owner, me) && s.address == address && std::strcmp(s.name, name) == 0) {
      s.available = accessible != 0;
      return kSdkOk;
    }
  }
  return kSdkServerNotFound;
}

QELAPI_EXPORT std::uint32_t QelManGetServerCount(std::uint32_t* count) {
  if (count == nullptr) return kSdkBadArgument;
  TableGuard guard;
  if (!guard.held()) return kSdkFailed;
  *count = static_cast<std::uint32_t>(live_servers_locked(*tables()).size());
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManGetServerByIndex(std::uint32_t index, char* name, QelServerHandle* server) {
  if (server == nullptr) return kSdkBadArgument;
  TableGuard guard;
  if (!guard.held()) return kSdkFailed;
  std::vector<std::uint32_t> entries = live_servers_locked(*tables());
  if (index >= entries.size()) return kSdkServerNotFound;
  const ServerEntry& s = tables()->servers[entries[index]];
  if (name != nullptr) std::memcpy(name, s.name, kServerNameSize);
  *server = make_handle(s.address, entries[index], server);
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManGetServerByName(const char* name, QelServerHandle* server) {
  if (!valid_name(name) || server == nullptr) return kSdkBadArgument;
  TableGuard guard;
  if (!guard.held()) return kSdkFailed;
  SharedTables& t = *tables();
  reclaim_dead_locked(t);
  plat::ProcessIdentity me = plat::current_process();
  std::int32_t found = -1;
  for (std::uint32_t i = 0; i < kMaxServers; ++i) {
    const ServerEntry& s = t.servers[i];
    if (!s.in_use || std::strcmp(s.name, name) != 0) continue;
    if (same_process(s.owner, me)) {
      found = static_cast<std::int32_t>(i);
      break;
    }
    if (found < 0 || (!t.servers[found].available && s.available)) found = static_cast<std::int32_t>(i);
  }
  if (found < 0) return kSdkServerNotFound;
  *server = make_handle(t.servers[found].address, static_cast<std::uint32_t>(found), server);
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManReleaseServer(QelServerHandle* server) {
  if (server == nullptr || server->tag != kServerTag) return kSdkBadArgument;
  std::memset(server, 0, sizeof *server);
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManGetLocalServer() { return kClientAddress; }

QELAPI_EXPORT std::uint32_t QelManGetLocalServerForVkm() {
  Process& p = process();
  std::lock_guard guard(p.mutex);
  return p.port_server_of[kModulePort] >= 0 ? kModulePortAddress : 0;
}
