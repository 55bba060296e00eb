#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/kernel/dispatcher_internal.h"
#include "platform/kernel/time.h"

namespace plat::kernel {

namespace detail {

namespace {
std::mutex g_dispatcher_lock;
std::condition_variable g_dispatcher_wake;
}  // namespace

std::mutex& dispatcher_lock() { return g_dispatcher_lock; }
void wake_waiters() { g_dispatcher_wake.notify_all(); }

void signal_locked(DispatcherHeader* header, std::int32_t state) {
  header->signal_state = state;
  wake_waiters();
}

std::condition_variable& dispatcher_wake() { return g_dispatcher_wake; }

}  // namespace detail

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t this_thread_id() { return static_cast<std::uint32_t>(::gettid()); }

// Can the calling thread take the object now (dispatcher lock held)?
bool can_take(const DispatcherHeader* header, std::uint32_t self) {
  switch (header->kind) {
    case DispatcherKind::kMutex:
      return header->signal_state > 0 || header->owner_thread == self;
    case DispatcherKind::kSemaphore:
      return header->signal_state > 0;
    default:
      return header->signal_state > 0;
  }
}

void take(DispatcherHeader* header, std::uint32_t self) {
  switch (header->kind) {
    case DispatcherKind::kMutex:
      header->owner_thread = self;
      --header->signal_state;  // 1 free, 0 owned once, -n owned n+1 times
      break;
    case DispatcherKind::kSemaphore:
    case DispatcherKind::kSynchronizationEvent:
    case DispatcherKind::kSynchronizationTimer:
      if (header->kind == DispatcherKind::kSemaphore)
        --header->signal_state;
      else
        header->signal_state = 0;
      break;
    default:
      break;
  }
}

// Deadline of a time-out; nullopt = for ever.
bool deadline_of(const std::int64_t* timeout, Clock::time_point* deadline) {
  if (timeout == nullptr) return false;
  std::int64_t relative_100ns;
  if (*timeout <= 0) {
    relative_100ns = -*timeout;
  } else {
    std::int64_t now = query_system_time();
    relative_100ns = *timeout > now ? *timeout - now : 0;
  }
  *deadline = Clock::now() + std::chrono::nanoseconds(relative_100ns * 100);
  return true;
}

bool is_zero_timeout(const std::int64_t* timeout) { return timeout != nullptr && *timeout == 0; }

}  // namespace

void initialize_spin_lock(SpinLock* lock) { lock->held.store(0, std::memory_order_relaxed); }

void acquire_spin_lock_at_dpc_level(SpinLock* lock) {
  unsigned spins = 0;
  for (;;) {
    std::uint32_t expected = 0;
    if (lock->held.compare_exchange_weak(expected, 1, std::memory_order_acquire)) return;
    if (++spins > 64) {
      ::sched_yield();
      spins = 0;
    }
  }
}

void release_spin_lock_from_dpc_level(SpinLock* lock) { lock->held.store(0, std::memory_order_release); }

void acquire_spin_lock(SpinLock* lock, Irql* old) {
  raise_irql(kDispatchLevel, old);
  acquire_spin_lock_at_dpc_level(lock);
}

void release_spin_lock(SpinLock* lock, Irql old) {
  release_spin_lock_from_dpc_level(lock);
  lower_irql(old);
}

void initialize_event(KernelEvent* event, EventType type, bool signalled) {
  std::lock_guard guard(detail::dispatcher_lock());
  event->header = {};
  event->header.kind = type == EventType::kNotification ? DispatcherKind::kNotificationEvent
                                                        : DispatcherKind::kSynchronizationEvent;
  event->header.signal_state = signalled ? 1 : 0;
}

std::int32_t set_event(KernelEvent* event) {
  std::lock_guard guard(detail::dispatcher_lock());
  std::int32_t previous = event->header.signal_state;
  detail::signal_locked(&event->header, 1);
  return previous;
}

std::int32_t reset_event(KernelEvent* event) {
  std::lock_guard guard(detail::dispatcher_lock());
  std::int32_t previous = event->header.signal_state;
  event->header.signal_state = 0;
  return previous;
}

void clear_event(KernelEvent* event) { reset_event(event); }

std::int32_t read_event_state(const KernelEvent* event) {
  std::lock_guard guard(detail::dispatcher_lock());
  return event->header.signal_state;
}

void initialize_mutex(KernelMutex* mutex) {
  std::lock_guard guard(detail::dispatcher_lock());
  mutex->header = {};
  mutex->header.kind = DispatcherKind::kMutex;
  mutex->header.signal_state = 1;
}

void release_mutex(KernelMutex* mutex) {
  std::lock_guard guard(detail::dispatcher_lock());
  DispatcherHeader& h = mutex->header;
  if (h.signal_state > 0 || h.owner_thread != this_thread_id()) {
    std::fprintf(stderr, "kernel-host: kernel mutex released by a thread that does not own it\n");
#ifndef NDEBUG
    std::abort();
#endif
    return;
  }
  if (++h.signal_state > 0) {
    h.owner_thread = 0;
    detail::wake_waiters();
  }
}

std::int32_t read_mutex_state(const KernelMutex* mutex) {
  std::lock_guard guard(detail::dispatcher_lock());
  return mutex->header.signal_state;
}

void initialize_semaphore(KernelSemaphore* semaphore, std::int32_t count, std::int32_t limit) {
  std::lock_guard guard(detail::dispatcher_lock());
  semaphore->header = {};
  semaphore->header.kind = DispatcherKind::kSemaphore;
  semaphore->header.signal_state = count;
  semaphore->header.limit = limit;
}

std::int32_t release_semaphore(KernelSemaphore* semaphore, std::int32_t adjustment) {
  std::lock_guard guard(detail::dispatcher_lock());
  std::int32_t previous = semaphore->header.signal_state;
  std::int32_t next = previous + adjustment;
  if (adjustment > 0 && next <= semaphore->header.limit) detail::signal_locked(&semaphore->header, next);
  return previous;
}

NtStatus wait_for_objects(std::uint32_t count, void* const* objects, WaitType type,
                          const std::int64_t* timeout) {
  if (count == 0 || count > kMaximumKernelWaitObjects || objects == nullptr)
    return kStatusInvalidParameter;
  if (!is_zero_timeout(timeout)) check_may_block("wait on a dispatcher object");
  Clock::time_point deadline{};
  bool has_deadline = deadline_of(timeout, &deadline);
  std::uint32_t self = this_thread_id();
  std::unique_lock guard(detail::dispatcher_lock());
  for (;;) {
    if (type == WaitType::kWaitAny) {
      for (std::uint32_t i = 0; i < count; ++i) {
        auto* header = static_cast<DispatcherHeader*>(objects[i]);
        if (can_take(header, self)) {
          take(header, self);
          return kStatusSuccess + static_cast<NtStatus>(i);
        }
      }
    } else {
      bool all = true;
      for (std::uint32_t i = 0; i < count && all; ++i)
        all = can_take(static_cast<DispatcherHeader*>(objects[i]), self);
      if (all) {
        for (std::uint32_t i = 0; i < count; ++i) take(static_cast<DispatcherHeader*>(objects[i]), self);
        return kStatusSuccess;
      }
    }
    if (!has_deadline) {
      detail::dispatcher_wake().wait(guard);
    } else {
      if (Clock::now() >= deadline) return kStatusTimeout;
      detail::dispatcher_wake().wait_until(guard, deadline);
    }
  }
}

NtStatus wait_for_object(void* object, const std::int64_t* timeout) {
  if (object == nullptr) return kStatusInvalidParameter;
  void* objects[1] = {object};
  return wait_for_objects(1, objects, WaitType::kWaitAny, timeout);
}

}  // namespace plat::kernel
