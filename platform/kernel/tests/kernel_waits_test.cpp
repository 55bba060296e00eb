// Waits on dispatcher objects: each object wakes only its own waiters, a wait
// on several objects is woken by any of them (or by the last one of a
// wait-all), and a wait that timed out leaves nothing behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/kernel/sync.h"

namespace plat::kernel {
namespace {

using namespace std::chrono_literals;

// How often a thread of this process gave up the processor of its own accord
// (it went to sleep): each wake-up of a waiting thread adds one.
long voluntary_switches(pid_t tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  const std::string key = "voluntary_ctxt_switches:";
  while (std::getline(status, line))
    if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

// True once the thread sleeps (state S) in the kernel.
bool sleeping(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

// A thread that waits on `objects` and reports what the wait answered.
class Waiter {
 public:
  Waiter(std::uint32_t count, void* const* objects, WaitType type)
      : thread_([this, count, objects, type] {
          tid_ = ::gettid();
          result_ = wait_for_objects(count, objects, type, nullptr);
          done_ = true;
        }) {
    while (tid_ == 0 || !sleeping(tid_)) std::this_thread::sleep_for(1ms);
    // Past the first sleep the wait is registered on every object.
    std::this_thread::sleep_for(20ms);
  }
  ~Waiter() {
    if (thread_.joinable()) thread_.join();
  }
  pid_t tid() const { return tid_; }
  bool done() const { return done_; }
  // Waits for the waiter to return; its answer.
  NtStatus result() {
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  std::atomic<pid_t> tid_{0};
  std::atomic<bool> done_{false};
  NtStatus result_ = kStatusUnsuccessful;
  std::thread thread_;
};

TEST(KernelWaits, ASignalToOneObjectDoesNotWakeAWaiterOnAnother) {
  KernelEvent busy, other, quiet;
  KernelSemaphore semaphore;
  KernelMutex mutex;
  initialize_event(&busy, EventType::kNotification, false);
  initialize_event(&other, EventType::kSynchronization, false);
  initialize_event(&quiet, EventType::kSynchronization, false);
  initialize_semaphore(&semaphore, 0, 1000);
  initialize_mutex(&mutex);
  void* objects[1] = {&quiet};
  Waiter waiter(1, objects, WaitType::kWaitAny);
  const long before = voluntary_switches(waiter.tid());
  // Spaced out, so that a waiter woken by each of them would sleep again in between.
  for (int i = 0; i < 40; ++i) {
    std::this_thread::sleep_for(1ms);
    set_event(&busy);
    reset_event(&busy);
    set_event(&other);
    release_semaphore(&semaphore, 1);
    ASSERT_EQ(wait_for_object(&mutex, nullptr), kStatusSuccess);
    release_mutex(&mutex);
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(waiter.done());
  // A stray wake-up or two (a signal to the process) is not a wake per signal.
  EXPECT_LE(voluntary_switches(waiter.tid()) - before, 2);
  set_event(&quiet);
  EXPECT_EQ(waiter.result(), kStatusSuccess);
  std::int64_t poll = 0;
  EXPECT_EQ(wait_for_object(&quiet, &poll), kStatusTimeout);  // the waiter took it
}

TEST(KernelWaits, AWaitOnSeveralObjectsIsWokenByEachOfThem) {
  KernelEvent first, second;
  KernelSemaphore third;
  initialize_event(&first, EventType::kSynchronization, false);
  initialize_event(&second, EventType::kSynchronization, false);
  initialize_semaphore(&third, 0, 4);
  void* objects[3] = {&first, &second, &third};
  {
    Waiter waiter(3, objects, WaitType::kWaitAny);
    set_event(&second);
    EXPECT_EQ(waiter.result(), kStatusSuccess + 1);
  }
  {
    Waiter waiter(3, objects, WaitType::kWaitAny);
    release_semaphore(&third, 1);
    EXPECT_EQ(waiter.result(), kStatusSuccess + 2);
  }
  // Wait-all: nothing until the last one is signalled, then all are taken at once.
  Waiter waiter(3, objects, WaitType::kWaitAll);
  set_event(&first);
  release_semaphore(&third, 2);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(waiter.done());
  set_event(&second);
  EXPECT_EQ(waiter.result(), kStatusSuccess);
  std::int64_t poll = 0;
  EXPECT_EQ(wait_for_object(&first, &poll), kStatusTimeout);
  EXPECT_EQ(wait_for_object(&second, &poll), kStatusTimeout);
  EXPECT_EQ(wait_for_object(&third, &poll), kStatusSuccess);  // one of the two is left
}

// A synchronisation event wakes one waiter per signal, first come first.
TEST(KernelWaits, ASynchronisationEventReleasesOneWaiterPerSignal) {
  KernelEvent event;
  initialize_event(&event, EventType::kSynchronization, false);
  void* objects[1] = {&event};
  Waiter first(1, objects, WaitType::kWaitAny);
  Waiter second(1, objects, WaitType::kWaitAny);
  set_event(&event);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!first.done() && !second.done() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(first.done());
  EXPECT_FALSE(second.done());
  set_event(&event);
  EXPECT_EQ(first.result(), kStatusSuccess);
  EXPECT_EQ(second.result(), kStatusSuccess);
}

// A wait that timed out is gone from the object: the next signal stays for
// whoever comes next.
TEST(KernelWaits, ATimedOutWaitLeavesTheObjectsSignalAlone) {
  KernelEvent event;
  KernelMutex mutex;
  initialize_event(&event, EventType::kSynchronization, false);
  initialize_mutex(&mutex);
  ASSERT_EQ(wait_for_object(&mutex, nullptr), kStatusSuccess);
  std::thread([&] {
    void* both[2] = {&event, &mutex};
    std::int64_t wait = relative_milliseconds(20);
    EXPECT_EQ(wait_for_objects(2, both, WaitType::kWaitAny, &wait), kStatusTimeout);
  }).join();
  set_event(&event);
  release_mutex(&mutex);
  std::int64_t poll = 0;
  EXPECT_EQ(wait_for_object(&event, &poll), kStatusSuccess);
  EXPECT_EQ(read_mutex_state(&mutex), 1);
}

}  // namespace
}  // namespace plat::kernel
