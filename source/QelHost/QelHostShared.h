// The host messaging layer's tables in the library's shared data section:
// transactions, ports and port servers, seen alike by every process that
// loads the library. Changed only by callers holding the SDK's API lock.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kHostTransactionCount = 32;
inline constexpr std::uint32_t kHostTransactionSlotBits = 5;  // id = (sequence << 5) + slot
inline constexpr std::uint32_t kHostRingSize = 128;           // holds 127 messages
inline constexpr std::uint32_t kHostPortCount = 256;
inline constexpr std::uint32_t kHostPortServerCount = 256;
inline constexpr std::uint32_t kHostLocalServerBit = 0x80000000u;
static_assert((1u << kHostTransactionSlotBits) == kHostTransactionCount);

// One transaction: who waits, how to wake it, and the messages queued for it
// (each as the memory library's process-independent message reference).
#pragma pack(push, 1)
struct HostTransaction {
  std::uint32_t inUse;
  std::uint32_t id;
  std::uint64_t event;  // a handle of the owner process, 0 for none
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
  std::uint32_t ownerProcessId;
  std::uint64_t ring[kHostRingSize];
  std::uint64_t handler;  // a port server's handler in the owner process, 0 for none
};
#pragma pack(pop)
static_assert(sizeof(HostTransaction) == 1060);
static_assert(offsetof(HostTransaction, event) == 8);
static_assert(offsetof(HostTransaction, writeIndex) == 16);
static_assert(offsetof(HostTransaction, readIndex) == 20);
static_assert(offsetof(HostTransaction, ownerProcessId) == 24);
static_assert(offsetof(HostTransaction, ring) == 28);
static_assert(offsetof(HostTransaction, handler) == 1052);

struct HostPortEntry {
  std::int32_t useCount;
  std::uint32_t open;
  std::uint32_t server;  // kHostLocalServerBit: a local port server of some process
};
static_assert(sizeof(HostPortEntry) == 12);

struct HostPortServerEntry {
  std::uint32_t installed;
  std::uint32_t transaction;  // slot of the server's transaction
};
static_assert(sizeof(HostPortServerEntry) == 8);

struct HostSharedTables {
  HostTransaction transactions[kHostTransactionCount];
  // Start time of each transaction's owner beside its record, so a reused
  // process id is never taken for the owner.
  std::uint64_t ownerStartTimes[kHostTransactionCount];
  std::uint32_t sequence;  // 0, 1, ... 0xFFFFFFFF, then 1 again
  std::uint32_t reserved;
  HostPortEntry ports[kHostPortCount];
  HostPortServerEntry portServers[kHostPortServerCount];
};
static_assert(offsetof(HostSharedTables, ownerStartTimes) == 33920);
static_assert(offsetof(HostSharedTables, sequence) == 34176);
static_assert(offsetof(HostSharedTables, ports) == 34184);
static_assert(offsetof(HostSharedTables, portServers) == 37256);
static_assert(sizeof(HostSharedTables) == 39304);
