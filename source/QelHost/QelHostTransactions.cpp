#include <cstring>

#include "firmware/win32/QelMemBinding.h"
#include "source/QelHost/QelHostInternal.h"

namespace {

HostTransaction& Record(std::uint32_t slot) { return HostGetSharedTables()->transactions[slot]; }

std::uint32_t NextSequence(std::uint32_t sequence) { return sequence == 0xFFFFFFFFu ? 1 : sequence + 1; }

std::uint32_t MakeId(std::uint32_t sequence, std::uint32_t slot) {
  return (sequence << kHostTransactionSlotBits) + slot;
}

// The owner's identity as recorded when the transaction was taken.
plat::ProcessIdentity OwnerOf(std::uint32_t slot) {
  return {static_cast<std::int32_t>(Record(slot).ownerProcessId), 0,
          HostGetSharedTables()->ownerStartTimes[slot]};
}

bool OwnerIsAlive(std::uint32_t slot) {
  const plat::ProcessIdentity owner = OwnerOf(slot);
  if (owner.pid == HostOwnProcess().pid && owner.start_time == HostOwnProcess().start_time) return true;
  return plat::is_process_alive(owner);
}

// Port servers whose transaction is the given slot lose it with the slot.
void ForgetPortServersOf(std::uint32_t slot) {
  for (HostPortServerEntry* table : {HostGetSharedTables()->portServers, HostLocalPortServers()}) {
    for (std::uint32_t server = 0; server < kHostPortServerCount; ++server) {
      if (table[server].installed != 0 && table[server].transaction == slot) table[server] = {};
    }
  }
}

// Transactions of processes that died (a crashed client) go back to the table.
void ReclaimDeadOwners() {
  for (std::uint32_t slot = 0; slot < kHostTransactionCount; ++slot) {
    if (Record(slot).inUse == 0 || OwnerIsAlive(slot)) continue;
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTNEWTRANSAC => Transaction %u of dead process %u reclaimed",
             Record(slot).id, Record(slot).ownerProcessId);
    HostReleaseTransaction(slot);
    ForgetPortServersOf(slot);
  }
}

}  // namespace

int HostSlotOf(const HostTransaction* transaction) {
  const HostTransaction* first = HostGetSharedTables()->transactions;
  if (transaction < first || transaction >= first + kHostTransactionCount) return -1;
  return static_cast<int>(transaction - first);
}

bool HostTransactionIsOwn(std::uint32_t slot) {
  const plat::ProcessIdentity owner = OwnerOf(slot);
  return owner.pid == HostOwnProcess().pid && owner.start_time == HostOwnProcess().start_time;
}

void HostReleaseTransaction(std::uint32_t slot) {
  HostTransaction& transaction = Record(slot);
  std::uint32_t read = transaction.readIndex % kHostRingSize;
  const std::uint32_t write = transaction.writeIndex % kHostRingSize;
  for (; read != write; read = (read + 1) % kHostRingSize) {
    const std::uint64_t reference = transaction.ring[read];
    if (reference == 0) continue;
    // A message the pool no longer holds maps to nothing and is left alone.
    if (QelMessageHeader* message = HostMessageOf(reference)) QelMemFreeMsg(message);
  }
  std::memset(&transaction, 0, sizeof transaction);
  HostGetSharedTables()->ownerStartTimes[slot] = 0;
}

QelStatus HOSTNEWTRANSAC(HostTransaction** transaction) {
  if (transaction == nullptr) return HostNullArgument(1);
  *transaction = nullptr;
  ReclaimDeadOwners();
  HostSharedTables* tables = HostGetSharedTables();
  for (std::uint32_t slot = 0; slot < kHostTransactionCount; ++slot) {
    HostTransaction& record = Record(slot);
    if (record.inUse != 0) continue;
    std::memset(&record, 0, sizeof record);
    // Id 0 means "nobody waits": a sequence value that would give it is skipped.
    std::uint32_t sequence = tables->sequence;
    while (MakeId(sequence, slot) == 0) sequence = NextSequence(sequence);
    record.inUse = 1;
    record.id = MakeId(sequence, slot);
    record.ownerProcessId = static_cast<std::uint32_t>(HostOwnProcess().pid);
    tables->ownerStartTimes[slot] = HostOwnProcess().start_time;
    tables->sequence = NextSequence(sequence);
    *transaction = &record;
    return QEL_OK;
  }
  HOST_LOG(kQelLogWarning, "QELHOST: HOSTNEWTRANSAC => Transaction table is full (%d)", kHostTransactionCount);
  return kHostNoMemory;
}

QelStatus HOSTGETTRANSACPTR(std::uint32_t id, HostTransaction** transaction) {
  if (transaction == nullptr) return HostNullArgument(2);
  *transaction = nullptr;
  HostTransaction& record = Record(id & (kHostTransactionCount - 1));
  if (record.inUse == 0 || record.id != id) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTGETTRANSACPTR => Server not found (%d != %d)", record.id, id);
    return kHostServerNotFound;
  }
  *transaction = &record;
  return QEL_OK;
}

QelStatus HOSTFREETRANSAC(HostTransaction* transaction) {
  if (transaction == nullptr) return HostNullArgument(1);
  const int slot = HostSlotOf(transaction);
  if (slot < 0) return HostInvalidArgument(1);
  HostReleaseTransaction(static_cast<std::uint32_t>(slot));
  ForgetPortServersOf(static_cast<std::uint32_t>(slot));
  return QEL_OK;
}
