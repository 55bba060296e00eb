// The pool of 64 auto-reset events with which a waiter is woken by its
// answer, kept in a free ring of 65 slots so that a full ring and an empty
// one differ. Process-local; the guard is taken alone and never held across
// a wait.
#include <array>
#include <bitset>
#include <mutex>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"

namespace {

constexpr std::uint32_t kRingSlots = kQelApiEventCount + 1;

struct EventPool {
  std::mutex guard;
  bool ready = false;
  std::array<plat::Handle, kQelApiEventCount> events{};
  std::array<plat::Handle, kRingSlots> ring{};
  std::uint16_t read = 0;
  std::uint16_t write = 0;
  std::bitset<kQelApiEventCount> handedOut;
};

EventPool& Pool() {
  static EventPool pool;
  return pool;
}

// The pool's index of an event, or -1.
int IndexOf(const EventPool& pool, plat::Handle event) {
  for (std::uint32_t i = 0; i < kQelApiEventCount; ++i)
    if (pool.events[i] == event) return static_cast<int>(i);
  return -1;
}

void CloseAll(EventPool& pool) {
  for (plat::Handle& event : pool.events) {
    if (event != plat::kNullHandle) plat::close_handle(event);
    event = plat::kNullHandle;
  }
  pool.ring.fill(plat::kNullHandle);
  pool.handedOut.reset();
  pool.read = pool.write = 0;
  pool.ready = false;
}

}  // namespace

QelStatus QELMANINITEVENTS() {
  EventPool& pool = Pool();
  std::lock_guard guard(pool.guard);
  CloseAll(pool);
  for (std::uint32_t i = 0; i < kQelApiEventCount; ++i) {
    pool.events[i] = plat::create_event(nullptr, false, false, nullptr);
    if (pool.events[i] == plat::kNullHandle) {
      LogPutLog(kQelLogWarning, __FILE__, __LINE__, "QELAPI.DLL: QELMANINITEVENTS=> Cannot allocate API events");
      CloseAll(pool);
      return kQelApiNoMemory;
    }
    pool.ring[i] = pool.events[i];
  }
  pool.read = 0;
  pool.write = kQelApiEventCount;
  pool.ready = true;
  return QEL_OK;
}

void QelManFreeEvents() {
  EventPool& pool = Pool();
  std::lock_guard guard(pool.guard);
  CloseAll(pool);
}

bool QelManEventsReady() {
  EventPool& pool = Pool();
  std::lock_guard guard(pool.guard);
  return pool.ready;
}

QelStatus QelManGetEvent(plat::Handle* event) {
  if (event == nullptr) return kQelModuleManager | HostNullArgument(1);
  *event = plat::kNullHandle;
  EventPool& pool = Pool();
  std::lock_guard guard(pool.guard);
  if (!pool.ready || pool.read == pool.write) return kQelApiNoEvent;
  *event = pool.ring[pool.read];
  pool.ring[pool.read] = plat::kNullHandle;
  pool.read = static_cast<std::uint16_t>((pool.read + 1) % kRingSlots);
  pool.handedOut.set(static_cast<std::size_t>(IndexOf(pool, *event)));
  return QEL_OK;
}

QelStatus QelManReleaseEvent(plat::Handle event) {
  if (!ApiCallerHoldsLock()) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "QelManReleaseEvent => Event 0x%llx not released: the API lock is not held",
              static_cast<unsigned long long>(event));
    return kQelApiNotLockHolder;
  }
  EventPool& pool = Pool();
  std::lock_guard guard(pool.guard);
  const int index = pool.ready ? IndexOf(pool, event) : -1;
  if (index < 0 || !pool.handedOut.test(static_cast<std::size_t>(index))) {
    // Putting back an event twice would hand it to two waiters at once.
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QelManReleaseEvent => Event 0x%llx is not handed out",
              static_cast<unsigned long long>(event));
    return kQelApiNotRegistered;
  }
  pool.handedOut.reset(static_cast<std::size_t>(index));
  plat::reset_event(event);
  pool.ring[pool.write] = event;
  pool.write = static_cast<std::uint16_t>((pool.write + 1) % kRingSlots);
  return QEL_OK;
}

QelStatus QelManWaitEvent(plat::Handle event, std::uint32_t timeoutMs) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  const std::uint8_t depth = ApiUnlockThread();
  const std::uint32_t result = plat::wait_for_object(event, timeoutMs);
  const bool relocked = ApiRelockThread(depth);
  if (result == plat::kWaitObject0 && relocked) return QEL_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "QelManWaitEvent => Communication Timeout (%ld ms)",
            static_cast<long>(timeoutMs));
  return kQelApiLockTimeout;
}
