#include "platform/kernel/transport_workers.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace plat::kernel::transport_workers {
namespace {

struct Pool {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> jobs;
  std::vector<std::thread> threads;
  bool running = false;
};

Pool& pool() {
  static Pool instance;
  return instance;
}

void work() {
  Pool& p = pool();
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(p.mutex);
      p.wake.wait(lock, [&] { return !p.jobs.empty() || !p.running; });
      if (p.jobs.empty()) return;
      job = std::move(p.jobs.front());
      p.jobs.pop_front();
    }
    job();
  }
}

}  // namespace

void start(std::size_t count) {
  Pool& p = pool();
  std::lock_guard lock(p.mutex);
  if (p.running) return;
  p.running = true;
  for (std::size_t i = 0; i < count; ++i) p.threads.emplace_back(work);
}

bool post(std::function<void()> job) {
  Pool& p = pool();
  {
    std::lock_guard lock(p.mutex);
    if (!p.running) return false;
    p.jobs.push_back(std::move(job));
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
    threads.swap(p.threads);
  }
  p.wake.notify_all();
  for (auto& t : threads) t.join();
}

}  // namespace plat::kernel::transport_workers
