#include "platform/kernel/transport_workers.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace plat::kernel::transport_workers {
namespace {

using transport_host::Connection;

// Past this many threads a turn waits for one to come free.
constexpr std::size_t kMaxThreads = 1024;

struct Pool {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::shared_ptr<Connection>> turns;
  std::vector<std::thread> threads;
  std::size_t idle = 0;
  bool running = false;
};

Pool& pool() {
  static Pool instance;
  return instance;
}

void work() {
  ::pthread_setname_np(::pthread_self(), "kernel-transport");
  Pool& p = pool();
  for (;;) {
    std::shared_ptr<Connection> connection;
    {
      std::unique_lock lock(p.mutex);
      ++p.idle;
      p.wake.wait(lock, [&] { return !p.turns.empty() || !p.running; });
      --p.idle;
      if (p.turns.empty()) return;
      connection = std::move(p.turns.front());
      p.turns.pop_front();
    }
    transport_host::serve_turn(connection);
  }
}

// With the pool's lock held.
bool add_thread_locked(Pool& p) {
  if (p.threads.size() >= kMaxThreads) return false;
  try {
    p.threads.emplace_back(work);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace

void start(std::size_t initial_threads) {
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  if (p.running) return;
  p.running = true;
  for (std::size_t i = 0; i < initial_threads; ++i) add_thread_locked(p);
}

bool post(std::shared_ptr<Connection> connection) {
  Pool& p = pool();
  {
    std::lock_guard lock(p.mutex);
    if (!p.running) return false;
    if (p.idle <= p.turns.size() && !add_thread_locked(p) && p.threads.empty()) return false;
    p.turns.push_back(std::move(connection));
  }
  p.wake.notify_one();
  return true;
}

void stop() {
  Pool& p = pool();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(p.mutex);
    p.running = false;
  }
  p.wake.notify_all();
  // Threads finish the turns still posted before they see the pool stopped.
  {
    std::lock_guard lock(p.mutex);
    threads.swap(p.threads);
  }
  for (auto& t : threads) t.join();
}

}  // namespace plat::kernel::transport_workers
