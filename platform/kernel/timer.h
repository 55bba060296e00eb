// Kernel timers: one-shot or periodic, signalled at expiry (waitable) and
// optionally queueing a DPC. Driven by one timer thread.
#pragma once

#include <cstdint>

#include "platform/kernel/dpc.h"
#include "platform/kernel/sync.h"

namespace plat::kernel {

enum class TimerType : std::uint8_t { kNotification = 0, kSynchronization = 1 };

struct KernelTimer {
  DispatcherHeader header;
  Dpc* dpc;
  std::int64_t due_ns;  // steady-clock deadline while set
  std::uint32_t period_ms;
  bool inserted;  // guarded by the timer thread's lock
};

void initialize_timer(KernelTimer* timer, TimerType type);
// due_time in 100-nanosecond units, negative relative, positive absolute
// system time; period_ms 0 for a one-shot timer. Answers whether the timer was
// already set (it is set anew).
bool set_timer(KernelTimer* timer, std::int64_t due_time, std::uint32_t period_ms, Dpc* dpc);
// Answers whether the timer was set.
bool cancel_timer(KernelTimer* timer);
bool read_timer_state(const KernelTimer* timer);

// Stops the timer thread (the kernel host's shutdown; tests).
void stop_timer_thread();

}  // namespace plat::kernel
