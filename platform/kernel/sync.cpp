#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/kernel/blocking.h"
#include "platform/kernel/dispatcher_internal.h"
#include "platform/kernel/time.h"

namespace plat::kernel {

// A thread blocked in wait_for_objects: one wait block on its stack, and one
// entry in the queue of each object it waits on. Whoever signals an object
// walks that object's queue, takes the object (and the others of a wait-all)
// for each waiter it satisfies and wakes that waiter alone, through the
// block's own futex word: the woken thread returns without the dispatcher
// lock, so it never queues behind the thread that woke it.
enum WaitState : std::uint32_t { kWaiting = 0, kSatisfied = 1 };

struct WaitBlock {
  std::atomic<std::uint32_t> state{kWaiting};
  std::uint32_t self = 0;
  WaitType type = WaitType::kWaitAny;
  std::uint32_t count = 0;
  void* const* objects = nullptr;
  WaitEntry* entries = nullptr;
  NtStatus result = kStatusTimeout;
};

struct WaitEntry {
  WaitBlock* block;
  DispatcherHeader* object;
  WaitEntry* previous;  // the head's previous is the queue's last entry
  WaitEntry* next;      // null at the end
};

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_dispatcher_lock;

std::uint32_t this_thread_id() { return static_cast<std::uint32_t>(::gettid()); }

DispatcherHeader* header_of(void* const* objects, std::uint32_t i) {
  return static_cast<DispatcherHeader*>(objects[i]);
}

// Can the thread `self` take the object now (dispatcher lock held)?
bool can_take(const DispatcherHeader* header, std::uint32_t self) {
  if (header->kind == DispatcherKind::kMutex)
    return header->signal_state > 0 || header->owner_thread == self;
  return header->signal_state > 0;
}

void take(DispatcherHeader* header, std::uint32_t self) {
  switch (header->kind) {
    case DispatcherKind::kMutex:
      header->owner_thread = self;
      --header->signal_state;  // 1 free, 0 owned once, -n owned n+1 times
      break;
    case DispatcherKind::kSemaphore:
      --header->signal_state;
      break;
    case DispatcherKind::kSynchronizationEvent:
    case DispatcherKind::kSynchronizationTimer:
      header->signal_state = 0;
      break;
    default:
      break;
  }
}

// Takes what the wait asks for if it can be had now: the first object it can
// take (wait-any) or all of them at one instant (wait-all).
bool try_take(std::uint32_t count, void* const* objects, WaitType type, std::uint32_t self,
              NtStatus* result) {
  if (type == WaitType::kWaitAny) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!can_take(header_of(objects, i), self)) continue;
      take(header_of(objects, i), self);
      *result = kStatusSuccess + static_cast<NtStatus>(i);
      return true;
    }
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i)
    if (!can_take(header_of(objects, i), self)) return false;
  for (std::uint32_t i = 0; i < count; ++i) take(header_of(objects, i), self);
  *result = kStatusSuccess;
  return true;
}

void link(WaitEntry* entry) {
  DispatcherHeader* header = entry->object;
  entry->next = nullptr;
  if (header->waiters == nullptr) {
    entry->previous = entry;
    header->waiters = entry;
    return;
  }
  WaitEntry* last = header->waiters->previous;
  last->next = entry;
  entry->previous = last;
  header->waiters->previous = entry;
}

void unlink(WaitEntry* entry) {
  DispatcherHeader* header = entry->object;
  WaitEntry* first = header->waiters;
  if (entry == first) {
    header->waiters = entry->next;
    if (entry->next != nullptr) entry->next->previous = entry->previous;
    return;
  }
  entry->previous->next = entry->next;
  if (entry->next != nullptr)
    entry->next->previous = entry->previous;
  else
    first->previous = entry->previous;
}

void unlink_block(WaitBlock* block) {
  for (std::uint32_t i = 0; i < block->count; ++i) unlink(&block->entries[i]);
}

long futex(std::atomic<std::uint32_t>* word, int operation, std::uint32_t value, const timespec* deadline) {
  return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), operation | FUTEX_PRIVATE_FLAG, value, deadline,
                   nullptr, FUTEX_BITSET_MATCH_ANY);
}

// The futex wakes of one signal, made once the dispatcher lock is released so
// that a woken thread never runs into the lock its waker still holds. Once a
// block says satisfied it may be gone (its waiter returned): a wake names only
// the address, and a futex waiter that sleeps there later checks its own word
// again.
class Signalling {
 public:
  Signalling() : guard_(g_dispatcher_lock) {}
  ~Signalling() {
    guard_.unlock();
    for (std::size_t i = 0; i < count_; ++i) futex(words_[i], FUTEX_WAKE, 1, nullptr);
  }
  Signalling(const Signalling&) = delete;
  Signalling& operator=(const Signalling&) = delete;

  void wake(WaitBlock* block) {
    block->state.store(kSatisfied, std::memory_order_release);
    if (count_ == words_.size())
      futex(&block->state, FUTEX_WAKE, 1, nullptr);
    else
      words_[count_++] = &block->state;
  }

 private:
  std::unique_lock<std::mutex> guard_;
  std::array<std::atomic<std::uint32_t>*, 16> words_{};
  std::size_t count_ = 0;
};

// Sleeps until the block is satisfied or the deadline (null: none) passes;
// true when satisfied. Called without the dispatcher lock.
bool sleep_on(WaitBlock& block, const timespec* deadline) {
  while (block.state.load(std::memory_order_acquire) != kSatisfied) {
    if (futex(&block.state, FUTEX_WAIT_BITSET, kWaiting, deadline) != 0 && errno == ETIMEDOUT) return false;
  }
  return true;
}

// The object was signalled: satisfy its waiters in the order they came, while
// it stays signalled. A satisfied waiter leaves every queue it was in, so the
// walk starts over from the head.
void satisfy_waiters(DispatcherHeader* header, Signalling& signalling) {
  WaitEntry* entry = header->waiters;
  while (entry != nullptr && header->signal_state > 0) {
    WaitBlock* block = entry->block;
    if (!try_take(block->count, block->objects, block->type, block->self, &block->result)) {
      entry = entry->next;
      continue;
    }
    unlink_block(block);
    signalling.wake(block);
    entry = header->waiters;
  }
}

// Deadline of a time-out; false = for ever.
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

namespace detail {

std::mutex& dispatcher_lock() { return g_dispatcher_lock; }

void signal_object(DispatcherHeader* header, std::int32_t state) {
  Signalling signalling;
  header->signal_state = state;
  satisfy_waiters(header, signalling);
}

}  // namespace detail

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
  Signalling signalling;
  std::int32_t previous = event->header.signal_state;
  event->header.signal_state = 1;
  satisfy_waiters(&event->header, signalling);
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
  Signalling signalling;
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
    satisfy_waiters(&h, signalling);
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
  Signalling signalling;
  std::int32_t previous = semaphore->header.signal_state;
  std::int32_t next = previous + adjustment;
  if (adjustment > 0 && next <= semaphore->header.limit) {
    semaphore->header.signal_state = next;
    satisfy_waiters(&semaphore->header, signalling);
  }
  return previous;
}

NtStatus wait_for_objects(std::uint32_t count, void* const* objects, WaitType type,
                          const std::int64_t* timeout) {
  if (count == 0 || count > kMaximumKernelWaitObjects || objects == nullptr)
    return kStatusInvalidParameter;
  for (std::uint32_t i = 0; i < count; ++i)
    if (objects[i] == nullptr) return kStatusInvalidParameter;
  const bool polls = is_zero_timeout(timeout);
  if (!polls) check_may_block("wait on a dispatcher object");
  Clock::time_point deadline{};
  const bool has_deadline = deadline_of(timeout, &deadline);
  const std::uint32_t self = this_thread_id();
  std::unique_lock guard(g_dispatcher_lock);
  NtStatus result = kStatusTimeout;
  if (try_take(count, objects, type, self, &result) || polls) return result;
  std::array<WaitEntry, kMaximumKernelWaitObjects> entries;
  WaitBlock block;
  block.self = self;
  block.type = type;
  block.count = count;
  block.objects = objects;
  block.entries = entries.data();
  for (std::uint32_t i = 0; i < count; ++i) {
    entries[i] = WaitEntry{&block, header_of(objects, i), nullptr, nullptr};
    link(&entries[i]);
  }
  guard.unlock();
  notice_blocking();
  timespec until{};
  if (has_deadline) {
    const auto since_epoch = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
    until.tv_sec = static_cast<time_t>(since_epoch.count() / 1000000000);
    until.tv_nsec = static_cast<long>(since_epoch.count() % 1000000000);
  }
  if (sleep_on(block, has_deadline ? &until : nullptr)) return block.result;
  // Timed out, unless a signal came meanwhile: under the lock nobody is waking us halfway.
  guard.lock();
  if (block.state.load(std::memory_order_acquire) == kSatisfied) return block.result;
  unlink_block(&block);
  return kStatusTimeout;
}

NtStatus wait_for_object(void* object, const std::int64_t* timeout) {
  if (object == nullptr) return kStatusInvalidParameter;
  void* objects[1] = {object};
  return wait_for_objects(1, objects, WaitType::kWaitAny, timeout);
}

}  // namespace plat::kernel
