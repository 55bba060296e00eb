#include <atomic>

#include "firmware/win32/QelMemBinding.h"
#include "source/QelHost/QelHostInternal.h"

namespace {

std::atomic<HostMessageHandler> g_dispatcher{nullptr};

constexpr QelStatus kNoHandler = 70;

bool RingFull(const HostTransaction& transaction) {
  return (transaction.writeIndex + 1) % kHostRingSize == transaction.readIndex % kHostRingSize;
}

// Wakes the owner of a transaction that just got a message. A dead owner
// leaves the message queued for whoever reclaims the transaction.
QelStatus SignalOwner(std::uint32_t slot, const HostTransaction& transaction) {
  const auto event = static_cast<plat::Handle>(transaction.event);
  if (event == plat::kNullHandle) return QEL_OK;
  if (HostTransactionIsOwn(slot)) {
    plat::set_event(event);
    return QEL_OK;
  }
  const plat::ProcessIdentity owner{static_cast<std::int32_t>(transaction.ownerProcessId), 0,
                                    HostGetSharedTables()->ownerStartTimes[slot]};
  if (!plat::is_process_alive(owner)) return QEL_OK;
  // The event is the owner's; this process signals it through a reference of its own.
  const plat::Handle mine = plat::duplicate_handle(event);
  if (mine == plat::kNullHandle) return kHostMessageRefused;
  plat::set_event(mine);
  plat::close_handle(mine);
  return QEL_OK;
}

QelStatus Queue(QelMessageHeader* message, std::uint32_t slot) {
  HostTransaction& transaction = HostGetSharedTables()->transactions[slot];
  if (RingFull(transaction)) return kHostMessageRefused;
  const std::uint64_t reference = HostReferenceOf(message);
  if (reference == 0) return kHostMessageRefused;  // not a message of the pool
  const std::uint32_t write = transaction.writeIndex % kHostRingSize;
  transaction.ring[write] = reference;
  transaction.writeIndex = (write + 1) % kHostRingSize;
  const QelStatus status = SignalOwner(slot, transaction);
  if (status != QEL_OK) {
    // Not delivered: the sender keeps the message and frees it.
    transaction.ring[write] = 0;
    transaction.writeIndex = write;
  }
  return status;
}

}  // namespace

void HostSetRequestDispatcher(HostMessageHandler dispatcher) { g_dispatcher.store(dispatcher); }

QelStatus HostDispatchRequest(QelMessageHeader* request) {
  const HostMessageHandler dispatcher = g_dispatcher.load();
  return dispatcher != nullptr ? dispatcher(request) : kNoHandler;
}

QelStatus HostPutMessage(QelMessageHeader* message, HostTransaction* transaction) {
  if (message == nullptr) return kHostMessageRefused;
  if (transaction == nullptr) {
    if (message->transaction == 0) {
      // Nobody waits for it: nobody would ever take it from the pool either.
      QelMemFreeMsg(message);
      return QEL_OK;
    }
    if (const QelStatus status = HOSTGETTRANSACPTR(message->transaction, &transaction); status != QEL_OK)
      return status;
  }
  const int slot = HostSlotOf(transaction);
  if (slot < 0 || transaction->inUse == 0) return kHostServerNotFound;
  if (transaction->handler != 0) {
    // A handler is an address in its owner's process only.
    if (!HostTransactionIsOwn(static_cast<std::uint32_t>(slot))) return kHostServerNotFound;
    return reinterpret_cast<HostMessageHandler>(transaction->handler)(message);
  }
  return Queue(message, static_cast<std::uint32_t>(slot));
}

QelStatus HOSTPOSTMSG(QelMessageHeader* request, HostMessageHandler handler, plat::Handle event,
                      HostTransaction** transaction) {
  if (request == nullptr) return kHostMessageRefused;
  HostTransaction* taken = nullptr;
  request->transaction = 0;
  if ((request->flags & kQelMsgNoAnswer) == 0) {
    if (const QelStatus status = HOSTNEWTRANSAC(&taken); status != QEL_OK) return status;
    taken->handler = reinterpret_cast<std::uint64_t>(handler);
    taken->event = event;
    request->transaction = taken->id;
  }
  if (transaction != nullptr) *transaction = taken;
  if (request->source == 0) request->source = HostGetLocalAddress();
  const QelStatus status = HostIsLocalAddress(request->destination) ? HostDispatchRequest(request)
                                                                    : HostRouteMessage(request);
  if (status != QEL_OK && taken != nullptr) {
    HOSTFREETRANSAC(taken);
    if (transaction != nullptr) *transaction = nullptr;
  }
  return status;
}

QelStatus HOSTGETANSWER(HostTransaction* transaction, QelMessageHeader** message) {
  if (message == nullptr) return HostNullArgument(2);
  *message = nullptr;
  if (transaction == nullptr || HostSlotOf(transaction) < 0 || transaction->inUse == 0) return kHostNoMessage;
  while (transaction->readIndex % kHostRingSize != transaction->writeIndex % kHostRingSize) {
    const std::uint32_t read = transaction->readIndex % kHostRingSize;
    const std::uint64_t reference = transaction->ring[read];
    transaction->ring[read] = 0;
    transaction->readIndex = (read + 1) % kHostRingSize;
    // A reference the pool no longer knows (its sender died before it was
    // taken) is dropped.
    if (QelMessageHeader* queued = HostMessageOf(reference)) {
      *message = queued;
      return QEL_OK;
    }
  }
  return kHostNoMessage;
}

QelStatus HOSTSENDANSWER(QelMessageHeader* message) {
  if (message == nullptr) return kHostMessageRefused;
  if (!HostIsOnThisBoard(message->destination)) return HostRouteMessage(message);
  if ((message->flags & kQelMsgAnswer) == 0) return HostDispatchRequest(message);
  return HostPutMessage(message, nullptr);
}
