#include "platform/kernel/timer.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "platform/kernel/dispatcher_internal.h"
#include "platform/kernel/time.h"

namespace plat::kernel {

namespace {

using Clock = std::chrono::steady_clock;

struct TimerWheel {
  std::mutex lock;
  std::condition_variable wake;
  std::set<std::pair<std::int64_t, KernelTimer*>> pending;
  std::thread thread;
  bool running = false;
  bool stopping = false;
  KernelTimer* expiring = nullptr;  // whose expiry runs right now, outside the lock
  std::condition_variable expired;
};

TimerWheel& wheel() {
  static TimerWheel* w = new TimerWheel;
  return *w;
}

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// As on a kernel's clock tick, a timer expires on the first millisecond
// boundary at or after its due time: timers set close together (a board's
// channel timers, re-armed one after the other) then expire in one wake-up.
constexpr std::int64_t kTimerGridNs = 1000000;

std::int64_t on_grid(std::int64_t due_ns) { return (due_ns + kTimerGridNs - 1) / kTimerGridNs * kTimerGridNs; }

void expire(KernelTimer* timer) {
  detail::signal_object(&timer->header, 1);
  if (timer->dpc) queue_dpc(timer->dpc, nullptr, nullptr);
}

void timer_thread_main() {
  ::pthread_setname_np(::pthread_self(), "kernel-timer");
  TimerWheel& w = wheel();
  std::unique_lock guard(w.lock);
  while (!w.stopping) {
    if (w.pending.empty()) {
      w.wake.wait(guard);
      continue;
    }
    auto [due, timer] = *w.pending.begin();
    std::int64_t now = now_ns();
    if (due > now) {
      w.wake.wait_for(guard, std::chrono::nanoseconds(due - now));
      continue;
    }
    w.pending.erase(w.pending.begin());
    if (timer->period_ms > 0) {
      timer->due_ns = due + static_cast<std::int64_t>(timer->period_ms) * 1000000;
      if (timer->due_ns < now) timer->due_ns = now;
      w.pending.insert({timer->due_ns, timer});
    } else {
      timer->inserted = false;
    }
    // Expiry runs without the wheel's lock so a DPC may set the timer again.
    w.expiring = timer;
    guard.unlock();
    expire(timer);
    guard.lock();
    w.expiring = nullptr;
    w.expired.notify_all();
  }
}

void ensure_running_locked(TimerWheel& w) {
  if (w.running) return;
  w.stopping = false;
  w.running = true;
  w.thread = std::thread(timer_thread_main);
}

}  // namespace

void initialize_timer(KernelTimer* timer, TimerType type) {
  std::lock_guard guard(detail::dispatcher_lock());
  *timer = {};
  timer->header.kind = type == TimerType::kNotification ? DispatcherKind::kNotificationTimer
                                                        : DispatcherKind::kSynchronizationTimer;
}

bool set_timer(KernelTimer* timer, std::int64_t due_time, std::uint32_t period_ms, Dpc* dpc) {
  std::int64_t relative_100ns =
      due_time <= 0 ? -due_time : std::max<std::int64_t>(0, due_time - query_system_time());
  TimerWheel& w = wheel();
  std::lock_guard guard(w.lock);
  bool was_set = timer->inserted;
  if (was_set) w.pending.erase({timer->due_ns, timer});
  {
    std::lock_guard dispatcher(detail::dispatcher_lock());
    timer->header.signal_state = 0;
  }
  timer->dpc = dpc;
  timer->period_ms = period_ms;
  timer->due_ns = on_grid(now_ns() + relative_100ns * 100);
  timer->inserted = true;
  w.pending.insert({timer->due_ns, timer});
  ensure_running_locked(w);
  // The timer thread sleeps until the earliest due time: only a new earliest changes that.
  if (w.pending.begin()->second == timer) w.wake.notify_all();
  return was_set;
}

bool cancel_timer(KernelTimer* timer) {
  TimerWheel& w = wheel();
  std::unique_lock guard(w.lock);
  // After a cancel the timer's memory may go: let a running expiry finish first.
  w.expired.wait(guard, [&] { return w.expiring != timer; });
  if (!timer->inserted) return false;
  w.pending.erase({timer->due_ns, timer});
  timer->inserted = false;
  return true;
}

bool read_timer_state(const KernelTimer* timer) {
  std::lock_guard guard(detail::dispatcher_lock());
  return timer->header.signal_state > 0;
}

void stop_timer_thread() {
  TimerWheel& w = wheel();
  std::thread thread;
  {
    std::lock_guard guard(w.lock);
    if (!w.running) return;
    w.stopping = true;
    w.wake.notify_all();
    thread = std::move(w.thread);
  }
  thread.join();
  std::lock_guard guard(w.lock);
  w.running = false;
}

}  // namespace plat::kernel
