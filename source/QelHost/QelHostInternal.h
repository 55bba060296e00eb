// What the host layer's files share: the tables, the process's own state and
// the helpers over transactions and pool references.
#pragma once

#include <cstdint>

#include "platform/win/process.h"
#include "qellib/QelLog.h"
#include "source/QelHost/QelHost.h"

// The deliverable's shared tables (its shared data section).
HostSharedTables* HostGetSharedTables();

#define HOST_LOG(level, ...) LogPutLog(level, __FILE__, __LINE__, __VA_ARGS__)

// This process's port servers, apart from the shared ones.
HostPortServerEntry* HostLocalPortServers();

// The process the layer runs in (id and start time).
const plat::ProcessIdentity& HostOwnProcess();

// Slot of a transaction record of the shared table; -1 for any other pointer.
int HostSlotOf(const HostTransaction* transaction);
// True when the transaction was taken by this process.
bool HostTransactionIsOwn(std::uint32_t slot);
// Frees the messages still queued and zeroes the record.
void HostReleaseTransaction(std::uint32_t slot);

// A pool message and its process-independent reference.
std::uint64_t HostReferenceOf(const QelMessageHeader* message);
QelMessageHeader* HostMessageOf(std::uint64_t reference);

// The request dispatch of this process.
QelStatus HostDispatchRequest(QelMessageHeader* request);
