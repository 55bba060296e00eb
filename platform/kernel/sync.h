// Spin locks and the dispatcher objects drivers wait on: notification and
// synchronisation events, recursive kernel mutexes, semaphores. Timers and
// system threads (timer.h, thread.h) are dispatcher objects too. All of them
// work from zero-filled memory once initialised, so they may live inside a
// device extension.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/irql.h"
#include "platform/win/nt_status.h"

namespace plat::kernel {

// A spin lock raises the holder to dispatch level.
struct SpinLock {
  std::atomic<std::uint32_t> held;
};
void initialize_spin_lock(SpinLock* lock);
void acquire_spin_lock(SpinLock* lock, Irql* old);
void release_spin_lock(SpinLock* lock, Irql old);
// For callers already at dispatch level (DPCs).
void acquire_spin_lock_at_dpc_level(SpinLock* lock);
void release_spin_lock_from_dpc_level(SpinLock* lock);

enum class DispatcherKind : std::uint8_t {
  kNone = 0,
  kNotificationEvent,
  kSynchronizationEvent,
  kMutex,
  kSemaphore,
  kNotificationTimer,
  kSynchronizationTimer,
  kThread,
};

// One thread's place in an object's queue of waiters (sync.cpp).
struct WaitEntry;

// First member of every object a thread can wait on. Each object queues its
// own waiters, so a signal wakes only the threads that wait on that object.
struct DispatcherHeader {
  DispatcherKind kind;
  std::int32_t signal_state;
  std::uint32_t owner_thread;  // mutex: owner's thread id
  std::int32_t limit;          // semaphore: maximum count
  WaitEntry* waiters;          // first come first; null when nobody waits
};

enum class EventType : std::uint8_t { kNotification = 0, kSynchronization = 1 };

struct KernelEvent {
  DispatcherHeader header;
};
void initialize_event(KernelEvent* event, EventType type, bool signalled);
// Answers the previous state (non-zero when it was signalled).
std::int32_t set_event(KernelEvent* event);
std::int32_t reset_event(KernelEvent* event);
void clear_event(KernelEvent* event);
std::int32_t read_event_state(const KernelEvent* event);

// Recursive for its owner: every acquisition is released once.
struct KernelMutex {
  DispatcherHeader header;
};
void initialize_mutex(KernelMutex* mutex);
void release_mutex(KernelMutex* mutex);
// Non-zero while free.
std::int32_t read_mutex_state(const KernelMutex* mutex);

struct KernelSemaphore {
  DispatcherHeader header;
};
void initialize_semaphore(KernelSemaphore* semaphore, std::int32_t count, std::int32_t limit);
// Answers the previous count.
std::int32_t release_semaphore(KernelSemaphore* semaphore, std::int32_t adjustment);

// Time-outs in 100-nanosecond units: null waits for ever, a negative value is
// relative, zero polls, a positive value is an absolute system time
// (query_system_time). Answers kStatusSuccess or kStatusTimeout; a mutex is
// taken, a synchronisation event reset, a semaphore decremented on success.
NtStatus wait_for_object(void* object, const std::int64_t* timeout);

enum class WaitType : std::uint8_t { kWaitAll = 0, kWaitAny = 1 };
inline constexpr std::uint32_t kMaximumKernelWaitObjects = 64;
// kWaitAny: kStatusSuccess + index of the object taken. kWaitAll: kStatusSuccess
// once all were taken at one instant.
NtStatus wait_for_objects(std::uint32_t count, void* const* objects, WaitType type,
                          const std::int64_t* timeout);

// Helpers for time-outs.
inline constexpr std::int64_t relative_milliseconds(std::int64_t ms) { return -ms * 10000; }

}  // namespace plat::kernel
