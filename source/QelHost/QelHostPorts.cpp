#include <array>

#include "source/QelHost/QelHostInternal.h"

namespace {

std::array<HostPortServerEntry, kHostPortServerCount> g_localPortServers{};

// The installed entry of a server, this process's own first.
HostPortServerEntry* InstalledEntry(std::uint32_t server) {
  if (g_localPortServers[server].installed != 0) return &g_localPortServers[server];
  HostPortServerEntry* shared = &HostGetSharedTables()->portServers[server];
  return shared->installed != 0 ? shared : nullptr;
}

}  // namespace

HostPortServerEntry* HostLocalPortServers() { return g_localPortServers.data(); }

QelStatus HOSTNEWPORT(std::uint32_t port, std::uint32_t server) {
  if (server >= kHostPortServerCount) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTNEWPORT => Argument out of range (%d)", server);
    return HostArgumentOutOfRange(2);
  }
  if (port >= kHostPortCount) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTNEWPORT => Argument out of range (%d)", port);
    return HostArgumentOutOfRange(1);
  }
  HostPortEntry& entry = HostGetSharedTables()->ports[port];
  if (++entry.useCount == 1) {
    entry.open = 1;
    entry.server = server | (g_localPortServers[server].installed != 0 ? kHostLocalServerBit : 0);
  }
  return QEL_OK;
}

QelStatus HOSTFREEPORT(std::uint32_t port) {
  if (port >= kHostPortCount) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTFREEPORT => Argument out of range (%d)", port);
    return HostArgumentOutOfRange(1);
  }
  HostPortEntry& entry = HostGetSharedTables()->ports[port];
  if (--entry.useCount < 1) entry = {};
  return QEL_OK;
}

QelStatus HOSTINSTALLPORTSERVER(std::uint32_t server, HostMessageHandler handler, std::uint32_t shared) {
  if (server >= kHostPortServerCount) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTINSTALLPORTSERVER => Argument out of range (%d)", server);
    return HostArgumentOutOfRange(1);
  }
  HostPortServerEntry& entry =
      shared != 0 ? HostGetSharedTables()->portServers[server] : g_localPortServers[server];
  if (entry.installed != 0) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTINSTALLPORTSERVER => Resource in use (%d)", server);
    return kHostInUse;
  }
  HostTransaction* transaction = nullptr;
  if (const QelStatus status = HOSTNEWTRANSAC(&transaction); status != QEL_OK) return status;
  transaction->handler = reinterpret_cast<std::uint64_t>(handler);
  entry.installed = 1;
  entry.transaction = static_cast<std::uint32_t>(HostSlotOf(transaction));
  return QEL_OK;
}

QelStatus HOSTUNINSTALLPORTSERVER(std::uint32_t server) {
  if (server >= kHostPortServerCount) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTUNINSTALLPORTSERVER => Argument out of range (%d)", server);
    return HostArgumentOutOfRange(1);
  }
  HostPortServerEntry* entry = InstalledEntry(server);
  if (entry == nullptr) return QEL_OK;
  const std::uint32_t slot = entry->transaction;
  *entry = {};
  if (slot < kHostTransactionCount) HostReleaseTransaction(slot);
  return QEL_OK;
}

QelStatus HOSTGETPORTSERVERMSG(std::uint32_t server, QelMessageHeader** message) {
  if (server >= kHostPortServerCount) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTGETPORTSERVERMSG => Argument out of range (%d)", server);
    return HostArgumentOutOfRange(1);
  }
  if (message == nullptr) return HostNullArgument(2);
  *message = nullptr;
  const HostPortServerEntry* entry = InstalledEntry(server);
  if (entry == nullptr || entry->transaction >= kHostTransactionCount) return kHostNoMessage;
  return HOSTGETANSWER(&HostGetSharedTables()->transactions[entry->transaction], message);
}

// The transaction of the port server behind an open port, or null.
HostTransaction* HostPortTransaction(std::uint32_t port) {
  const HostPortEntry& entry = HostGetSharedTables()->ports[port];
  if (entry.open == 0) return nullptr;
  const std::uint32_t server = entry.server & ~kHostLocalServerBit;
  if (server >= kHostPortServerCount) return nullptr;
  const HostPortServerEntry& portServer = (entry.server & kHostLocalServerBit) != 0
                                              ? g_localPortServers[server]
                                              : HostGetSharedTables()->portServers[server];
  if (portServer.installed == 0 || portServer.transaction >= kHostTransactionCount) return nullptr;
  return &HostGetSharedTables()->transactions[portServer.transaction];
}
