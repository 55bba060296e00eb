#include "platform/kernel/dpc.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/kernel/blocking.h"
#include "platform/kernel/irql.h"

namespace plat::kernel {

namespace {

struct DpcQueue {
  std::mutex lock;
  std::condition_variable wake;
  std::condition_variable idle;
  std::deque<Dpc*> queue;
  std::thread thread;
  bool running = false;
  bool stopping = false;
  std::uint64_t runs_started = 0;
  std::uint64_t runs_done = 0;
};

DpcQueue& dpc_queue() {
  static DpcQueue* queue = new DpcQueue;  // lives as long as the process: DPCs may come late
  return *queue;
}

void dpc_thread_main() {
  ::pthread_setname_np(::pthread_self(), "kernel-dpc");
  Irql old;
  raise_irql(kDispatchLevel, &old);
  DpcQueue& q = dpc_queue();
  std::unique_lock guard(q.lock);
  for (;;) {
    q.wake.wait(guard, [&] { return q.stopping || !q.queue.empty(); });
    if (q.queue.empty() && q.stopping) break;
    Dpc* dpc = q.queue.front();
    q.queue.pop_front();
    dpc->queued = false;
    DpcRoutine routine = dpc->routine;
    void* context = dpc->context;
    void* a1 = dpc->argument1;
    void* a2 = dpc->argument2;
    ++q.runs_started;
    guard.unlock();
    if (routine) routine(dpc, context, a1, a2);
    lower_irql(kDispatchLevel);
    guard.lock();
    ++q.runs_done;
    if (q.queue.empty()) q.idle.notify_all();
  }
  q.idle.notify_all();
}

void ensure_running_locked(DpcQueue& q) {
  if (q.running) return;
  q.stopping = false;
  q.running = true;
  q.thread = std::thread(dpc_thread_main);
}

}  // namespace

void initialize_dpc(Dpc* dpc, DpcRoutine routine, void* context) {
  *dpc = {};
  dpc->routine = routine;
  dpc->context = context;
  dpc->importance = DpcImportance::kMedium;
}

void set_dpc_importance(Dpc* dpc, DpcImportance importance) { dpc->importance = importance; }

bool queue_dpc(Dpc* dpc, void* argument1, void* argument2) {
  DpcQueue& q = dpc_queue();
  {
    std::lock_guard guard(q.lock);
    if (dpc->queued) return false;
    dpc->queued = true;
    dpc->argument1 = argument1;
    dpc->argument2 = argument2;
    if (dpc->importance == DpcImportance::kHigh)
      q.queue.push_front(dpc);
    else
      q.queue.push_back(dpc);
    ensure_running_locked(q);
  }
  // Woken after the lock is free, so that the DPC thread does not wake into it.
  q.wake.notify_one();
  return true;
}

bool remove_queued_dpc(Dpc* dpc) {
  DpcQueue& q = dpc_queue();
  std::lock_guard guard(q.lock);
  if (!dpc->queued) return false;
  q.queue.erase(std::remove(q.queue.begin(), q.queue.end(), dpc), q.queue.end());
  dpc->queued = false;
  return true;
}

void flush_queued_dpcs() {
  check_may_block("flush of queued DPCs");
  notice_blocking();
  DpcQueue& q = dpc_queue();
  std::unique_lock guard(q.lock);
  std::uint64_t target = q.runs_started + q.queue.size();
  q.idle.wait(guard, [&] { return !q.running || q.runs_done >= target; });
}

void stop_dpc_thread() {
  DpcQueue& q = dpc_queue();
  std::thread thread;
  {
    std::lock_guard guard(q.lock);
    if (!q.running) return;
    q.stopping = true;
    q.wake.notify_all();
    thread = std::move(q.thread);
  }
  thread.join();
  std::lock_guard guard(q.lock);
  q.running = false;
}

}  // namespace plat::kernel
