#include "platform/kernel/interrupt.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace plat::kernel {

struct InterruptObject {
  InterruptRoutine routine;
  void* context;
  SpinLock* lock;
  SpinLock own_lock;
  std::uint32_t vector;
  Irql level;
  Irql synchronize_level;
};

namespace {

struct VectorLine {
  std::mutex lock;
  std::condition_variable changed;
  bool asserted = false;
  bool stopping = false;
  bool serving = false;  // the thread is running routines
  std::uint64_t changes = 0;
  std::vector<InterruptObject*> handlers;
  std::thread thread;
};

struct Controller {
  std::mutex lock;
  std::map<std::uint32_t, std::unique_ptr<VectorLine>> lines;
};

Controller& controller() {
  static Controller* c = new Controller;
  return *c;
}

VectorLine& line_of(std::uint32_t vector) {
  Controller& c = controller();
  std::lock_guard guard(c.lock);
  auto& line = c.lines[vector];
  if (!line) line = std::make_unique<VectorLine>();
  return *line;
}

bool run_routine(InterruptObject* interrupt) {
  Irql old = acquire_interrupt_spin_lock(interrupt);
  bool claimed = interrupt->routine(interrupt, interrupt->context);
  release_interrupt_spin_lock(interrupt, old);
  return claimed;
}

void interrupt_thread_main(VectorLine* line) {
  ::pthread_setname_np(::pthread_self(), "kernel-interrupt");
  std::unique_lock guard(line->lock);
  unsigned unclaimed_passes = 0;
  for (;;) {
    line->changed.wait(guard, [&] { return line->stopping || (line->asserted && !line->handlers.empty()); });
    if (line->stopping) break;
    std::uint64_t changes_before = line->changes;
    std::vector<InterruptObject*> handlers = line->handlers;
    line->serving = true;
    guard.unlock();
    bool claimed = false;
    for (InterruptObject* interrupt : handlers) claimed = run_routine(interrupt) || claimed;
    guard.lock();
    line->serving = false;
    line->changed.notify_all();
    if (claimed) {
      unclaimed_passes = 0;
      continue;
    }
    // Nobody claimed a still-asserted line: wait for a change instead of spinning.
    if (++unclaimed_passes > 1)
      line->changed.wait_for(guard, std::chrono::milliseconds(5),
                             [&] { return line->stopping || line->changes != changes_before; });
  }
}

}  // namespace

Irql acquire_interrupt_spin_lock(InterruptObject* interrupt) {
  Irql old;
  raise_irql(interrupt->synchronize_level, &old);
  acquire_spin_lock_at_dpc_level(interrupt->lock);
  return old;
}

void release_interrupt_spin_lock(InterruptObject* interrupt, Irql old) {
  release_spin_lock_from_dpc_level(interrupt->lock);
  lower_irql(old);
}

NtStatus connect_interrupt(InterruptObject** out, InterruptRoutine routine, void* context,
                           SpinLock* lock, std::uint32_t vector, Irql level, Irql synchronize_level,
                           InterruptMode mode, bool share_vector, std::uint64_t affinity,
                           bool save_floating_point) {
  (void)mode;
  (void)affinity;
  (void)save_floating_point;
  if (out == nullptr || routine == nullptr || level < kFirstDeviceLevel || level > kLastDeviceLevel ||
      synchronize_level < level)
    return kStatusInvalidParameter;
  VectorLine& line = line_of(vector);
  std::lock_guard guard(line.lock);
  if (!line.handlers.empty() && !share_vector) return kStatusInvalidParameter;
  auto* interrupt = new InterruptObject{};
  interrupt->routine = routine;
  interrupt->context = context;
  interrupt->lock = lock ? lock : &interrupt->own_lock;
  interrupt->vector = vector;
  interrupt->level = level;
  interrupt->synchronize_level = synchronize_level;
  line.handlers.push_back(interrupt);
  if (!line.thread.joinable()) {
    line.stopping = false;
    line.thread = std::thread(interrupt_thread_main, &line);
  }
  line.changed.notify_all();
  *out = interrupt;
  return kStatusSuccess;
}

void disconnect_interrupt(InterruptObject* interrupt) {
  if (interrupt == nullptr) return;
  VectorLine& line = line_of(interrupt->vector);
  {
    std::unique_lock guard(line.lock);
    std::erase(line.handlers, interrupt);
    line.changed.wait(guard, [&] { return !line.serving; });
  }
  delete interrupt;
}

bool synchronize_with_interrupt(InterruptObject* interrupt, SynchronizeRoutine routine, void* context) {
  if (interrupt == nullptr || routine == nullptr) return false;
  Irql old = acquire_interrupt_spin_lock(interrupt);
  bool result = routine(context);
  release_interrupt_spin_lock(interrupt, old);
  return result;
}

void set_interrupt_line(std::uint32_t vector, bool asserted) {
  VectorLine& line = line_of(vector);
  {
    std::lock_guard guard(line.lock);
    line.asserted = asserted;
    ++line.changes;
  }
  // Lines live as long as the host: safe to wake after the lock is free.
  line.changed.notify_all();
}

void stop_interrupt_threads() {
  Controller& c = controller();
  std::vector<VectorLine*> lines;
  {
    std::lock_guard guard(c.lock);
    for (auto& [vector, line] : c.lines) lines.push_back(line.get());
  }
  for (VectorLine* line : lines) {
    std::thread thread;
    {
      std::lock_guard guard(line->lock);
      line->stopping = true;
      line->changed.notify_all();
      thread = std::move(line->thread);
    }
    if (thread.joinable()) thread.join();
    std::lock_guard guard(line->lock);
    line->stopping = false;
  }
}

}  // namespace plat::kernel
