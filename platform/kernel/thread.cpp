#include "platform/kernel/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/kernel/dispatcher_internal.h"

namespace plat::kernel {

struct KernelThread {
  DispatcherHeader header;  // first: waited on
  std::atomic<int> references;
  ThreadRoutine routine;
  void* context;
  std::atomic<int> priority;
  std::atomic<pid_t> tid;
  NtStatus exit_status;
};

namespace {

thread_local KernelThread* t_current = nullptr;

void drop(KernelThread* thread) {
  if (thread->references.fetch_sub(1) == 1) delete thread;
}

void apply_priority(pid_t tid, int priority) {
  // Nice values follow the kernel scale loosely; raising needs privileges we may lack.
  int nice = priority >= kNormalPriority ? 0 : (kNormalPriority - priority);
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void finish(KernelThread* thread, NtStatus status) {
  thread->exit_status = status;
  detail::signal_object(&thread->header, 1);
  drop(thread);
}

void thread_main(KernelThread* thread) {
  t_current = thread;
  thread->tid = ::gettid();
  ::pthread_setname_np(::pthread_self(), "kernel-system");
  apply_priority(thread->tid, thread->priority);
  thread->routine(thread->context);
  t_current = nullptr;
  finish(thread, kStatusSuccess);
}

}  // namespace

NtStatus create_system_thread(KernelThread** out, ThreadRoutine routine, void* context) {
  if (out == nullptr || routine == nullptr) return kStatusInvalidParameter;
  auto* thread = new KernelThread{};
  thread->header.kind = DispatcherKind::kThread;
  thread->references = 2;  // the creator's and the running thread's
  thread->routine = routine;
  thread->context = context;
  thread->priority = kNormalPriority;
  try {
    std::thread(thread_main, thread).detach();
  } catch (...) {
    delete thread;
    return kStatusInsufficientResources;
  }
  *out = thread;
  return kStatusSuccess;
}

void dereference_thread(KernelThread* thread) {
  if (thread) drop(thread);
}

int set_thread_priority(KernelThread* thread, int priority) {
  if (thread == nullptr) return 0;
  if (priority < 0) priority = 0;
  if (priority > kHighPriority) priority = kHighPriority;
  int previous = thread->priority.exchange(priority);
  if (pid_t tid = thread->tid) apply_priority(tid, priority);
  return previous;
}

int thread_priority(const KernelThread* thread) { return thread ? thread->priority.load() : 0; }

KernelThread* current_thread() { return t_current; }

void terminate_system_thread(NtStatus status) {
  KernelThread* thread = t_current;
  t_current = nullptr;
  if (thread) finish(thread, status);
  ::pthread_exit(nullptr);
}

}  // namespace plat::kernel
