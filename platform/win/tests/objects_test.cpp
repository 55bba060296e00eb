#include "platform/win/objects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"

namespace plat {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::ScopedMachine;

constexpr std::uint32_t kLongWaitMs = 20000;

// A helper process of the machine, driven line by line.
class Helper {
 public:
  Helper() : process_("plat-helper-objects", {}) {}

  std::string ask(const std::string& command) {
    process_.write_line(command);
    return process_.read_line();
  }
  // Sends a command whose answer comes later (a wait).
  void send(const std::string& command) { process_.write_line(command); }
  std::string answer(std::chrono::milliseconds timeout = 20s) { return process_.read_line(timeout); }
  // The handle value of a "handle <value> <last error>" answer.
  Handle ask_handle(const std::string& command) {
    std::istringstream words(ask(command));
    std::string tag;
    Handle handle = kNullHandle;
    words >> tag >> handle;
    return tag == "handle" ? handle : kNullHandle;
  }
  void kill() { process_.kill_hard(); }

 private:
  ChildProcess process_;
};

std::string waits(Handle h, std::uint32_t timeout = kLongWaitMs) {
  return "wait " + std::to_string(timeout) + " " + std::to_string(h);
}

TEST(EventTest, SetInOneProcessWakesWaiterInAnother) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, false, false, "Frame.Ready");
  ASSERT_NE(event, kNullHandle);
  Helper waiter;
  Handle opened = waiter.ask_handle("open-event Frame.Ready");
  EXPECT_EQ(opened, event) << "one handle value names the object in every process";
  waiter.send(waits(opened));
  ASSERT_TRUE(set_event(event));
  EXPECT_EQ(waiter.answer(), "wait 0");
  EXPECT_EQ(wait_for_object(event, 0), kWaitTimeout) << "the auto-reset event was consumed";
}

TEST(EventTest, WaitOnSeveralAnswersIndexOfTheSignalledOne) {
  ScopedMachine machine;
  std::vector<Handle> events;
  for (int i = 0; i < 3; ++i) events.push_back(create_event(nullptr, true, false, nullptr));
  Helper signaller;
  std::thread later([&] {
    std::this_thread::sleep_for(50ms);
    signaller.ask("set " + std::to_string(events[2]));
  });
  EXPECT_EQ(wait_for_objects(events, false, kLongWaitMs), kWaitObject0 + 2);
  later.join();
  EXPECT_EQ(wait_for_objects(events, true, 0), kWaitTimeout);
  for (Handle e : events) set_event(e);
  EXPECT_EQ(wait_for_objects(events, true, 0), kWaitObject0);
  EXPECT_EQ(wait_for_objects(events, false, 0), kWaitObject0) << "the lowest index wins";
}

TEST(EventTest, WaitForAllTakesEverythingAtOnce) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, false, true, nullptr);
  Handle semaphore = create_semaphore(nullptr, 0, 5, nullptr);
  std::vector<Handle> both{event, semaphore};
  EXPECT_EQ(wait_for_objects(both, true, 20), kWaitTimeout);
  EXPECT_EQ(wait_for_object(event, 0), kWaitObject0) << "a failed wait for all took nothing";
  set_event(event);
  std::thread releaser([&] {
    std::this_thread::sleep_for(30ms);
    release_semaphore(semaphore, 1, nullptr);
  });
  EXPECT_EQ(wait_for_objects(both, true, kLongWaitMs), kWaitObject0);
  releaser.join();
  EXPECT_EQ(wait_for_object(event, 0), kWaitTimeout);
  EXPECT_EQ(wait_for_object(semaphore, 0), kWaitTimeout);
}

TEST(EventTest, AutoResetEventWakesExactlyOneOfSeveralThreads) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, false, false, nullptr);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (wait_for_object(event, kLongWaitMs) == kWaitObject0) ++woken;
    });
  }
  std::this_thread::sleep_for(100ms);
  set_event(event);
  for (int spins = 0; woken.load() == 0 && spins < 20000; ++spins) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(woken.load(), 1);
  // Setting an event that is still set changes nothing, so each further
  // waiter gets its own set once the previous one has gone.
  for (int expected = 2; expected <= 4; ++expected) {
    set_event(event);
    for (int spins = 0; woken.load() < expected && spins < 20000; ++spins) std::this_thread::sleep_for(1ms);
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 4);
}

TEST(EventTest, AutoResetEventWakesExactlyOneOfSeveralProcesses) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, false, false, "Wake.One");
  std::vector<std::unique_ptr<Helper>> helpers;
  for (int i = 0; i < 3; ++i) {
    helpers.push_back(std::make_unique<Helper>());
    Handle h = helpers.back()->ask_handle("open-event Wake.One");
    ASSERT_EQ(h, event);
    helpers.back()->send(waits(h));
  }
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(set_event(event));
  int first = -1;
  for (int round = 0; round < 400 && first < 0; ++round) {
    for (std::size_t i = 0; i < helpers.size() && first < 0; ++i) {
      if (helpers[i]->answer(10ms) == "wait 0") first = static_cast<int>(i);
    }
  }
  ASSERT_GE(first, 0);
  for (std::size_t i = 0; i < helpers.size(); ++i) {
    if (static_cast<int>(i) == first) continue;
    EXPECT_EQ(helpers[i]->answer(300ms), "") << "helper " << i;
  }
  EXPECT_EQ(wait_for_object(event, 0), kWaitTimeout);
}

TEST(ObjectWaitTest, TimeOutsAnswerWaitTimeout) {
  ScopedMachine machine;
  Helper owner;
  Handle held = owner.ask_handle("create-mutex Held 1");
  ASSERT_NE(held, kNullHandle);
  struct Case {
    const char* what;
    Handle handle;
  } cases[] = {
      {"unset event", create_event(nullptr, true, false, nullptr)},
      {"empty semaphore", create_semaphore(nullptr, 0, 1, nullptr)},
      {"mutex of another process", open_mutex("Held")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wait_for_object(c.handle, 0), kWaitTimeout) << c.what;
    EXPECT_EQ(wait_for_object(c.handle, 60), kWaitTimeout) << c.what;
  }
  std::vector<Handle> all{cases[0].handle, cases[1].handle, cases[2].handle};
  EXPECT_EQ(wait_for_objects(all, false, 60), kWaitTimeout);
}

TEST(ObjectWaitTest, BadHandlesFail) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, true, true, nullptr);
  ASSERT_TRUE(close_handle(event));
  for (Handle bad : {kNullHandle, event, Handle{0x3FFFFFFF}, Handle{0xFFFFFFFFFFFFFFFF}}) {
    set_last_error(0);
    EXPECT_EQ(wait_for_object(bad, 0), kWaitFailed);
    EXPECT_EQ(last_error(), kErrorInvalidHandle);
    EXPECT_FALSE(set_event(bad));
    EXPECT_FALSE(close_handle(bad));
  }
  std::vector<Handle> none;
  EXPECT_EQ(wait_for_objects(none, false, 0), kWaitFailed);
  EXPECT_EQ(last_error(), kErrorInvalidParameter);
}

TEST(MutexTest, HolderKilledIsTakenAsAbandonedByWaiterInAnotherProcess) {
  ScopedMachine machine;
  Helper holder;
  ASSERT_NE(holder.ask_handle("create-mutex HABRIX_TEST_MUTEX 1"), kNullHandle);
  Helper waiter;
  Handle mutex = waiter.ask_handle("create-mutex HABRIX_TEST_MUTEX 0");
  ASSERT_NE(mutex, kNullHandle);
  waiter.send(waits(mutex));
  EXPECT_EQ(waiter.answer(200ms), "") << "held by the first process";
  holder.kill();
  EXPECT_EQ(waiter.answer(), "wait 128");
  EXPECT_EQ(waiter.ask("release-mutex " + std::to_string(mutex)), "release 1");
  Handle mine = open_mutex("HABRIX_TEST_MUTEX");
  EXPECT_EQ(wait_for_object(mine, 0), kWaitObject0) << "released cleanly, not abandoned again";
  EXPECT_TRUE(release_mutex(mine));
}

TEST(MutexTest, ThreadThatEndsHoldingItAbandonsIt) {
  ScopedMachine machine;
  Handle mutex = create_mutex(nullptr, false, nullptr);
  std::thread([&] { EXPECT_EQ(wait_for_object(mutex, 0), kWaitObject0); }).join();
  std::vector<Handle> set{create_event(nullptr, true, false, nullptr), mutex};
  EXPECT_EQ(wait_for_objects(set, false, kLongWaitMs), kWaitAbandoned0 + 1);
  EXPECT_TRUE(release_mutex(mutex));
}

TEST(MutexTest, RecursiveForTheOwnerAndReleasedOnlyByIt) {
  ScopedMachine machine;
  Handle mutex = create_mutex(nullptr, true, "Recursive");
  ASSERT_NE(mutex, kNullHandle);
  EXPECT_EQ(wait_for_object(mutex, 0), kWaitObject0);
  std::thread([&] {
    EXPECT_EQ(wait_for_object(mutex, 30), kWaitTimeout);
    EXPECT_FALSE(release_mutex(mutex));
    EXPECT_EQ(last_error(), kErrorNotOwner);
  }).join();
  Helper other;
  Handle theirs = other.ask_handle("create-mutex Recursive 1");
  EXPECT_EQ(theirs, mutex);
  EXPECT_EQ(other.ask("release-mutex " + std::to_string(theirs)),
            "release 0 " + std::to_string(kErrorNotOwner));
  EXPECT_TRUE(release_mutex(mutex));
  EXPECT_TRUE(release_mutex(mutex));
  EXPECT_FALSE(release_mutex(mutex));
  EXPECT_EQ(last_error(), kErrorNotOwner);
  EXPECT_EQ(other.ask(waits(theirs)), "wait 0") << "free once released as often as taken";
}

TEST(MutexTest, WaiterWithShortTimeOutTimesOutWhileHeld) {
  ScopedMachine machine;
  Helper holder;
  Handle mutex = holder.ask_handle("create-mutex Busy 1");
  ASSERT_NE(mutex, kNullHandle);
  EXPECT_EQ(wait_for_object(mutex, 100), kWaitTimeout);
  EXPECT_EQ(holder.ask("release-mutex " + std::to_string(mutex)), "release 1");
  EXPECT_EQ(wait_for_object(mutex, kLongWaitMs), kWaitObject0);
  EXPECT_TRUE(release_mutex(mutex));
}

TEST(SemaphoreTest, CountsUpToItsMaximum) {
  ScopedMachine machine;
  Handle semaphore = create_semaphore(nullptr, 1, 3, "Counted");
  ASSERT_NE(semaphore, kNullHandle);
  std::int32_t previous = -1;
  EXPECT_TRUE(release_semaphore(semaphore, 2, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(release_semaphore(semaphore, 1, &previous));
  EXPECT_EQ(last_error(), kErrorTooManyPosts);
  Helper other;
  Handle theirs = other.ask_handle("create-semaphore Counted 0 1");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(other.ask(waits(theirs, 0)), "wait 0") << i;
  EXPECT_EQ(other.ask(waits(theirs, 0)), "wait 258");
  EXPECT_TRUE(release_semaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(release_semaphore(semaphore, 0, nullptr));
  EXPECT_EQ(create_semaphore(nullptr, 2, 1, nullptr), kNullHandle);
  EXPECT_EQ(last_error(), kErrorInvalidParameter);
}

TEST(ObjectTableTest, NamesOpenTheSameObjectOfTheSameKindOnly) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, true, false, "Shared.Name");
  EXPECT_EQ(last_error(), kErrorSuccess);
  EXPECT_EQ(create_event(nullptr, false, true, "Shared.Name"), event);
  EXPECT_EQ(last_error(), kErrorAlreadyExists);
  EXPECT_EQ(wait_for_object(event, 0), kWaitTimeout) << "opening ignores the initial state";
  EXPECT_EQ(create_mutex(nullptr, false, "Shared.Name"), kNullHandle);
  EXPECT_EQ(last_error(), kErrorInvalidHandle);
  EXPECT_EQ(open_mutex("Shared.Name"), kNullHandle);
  EXPECT_EQ(open_event("shared.name"), kNullHandle) << "names are case-sensitive";
  EXPECT_EQ(last_error(), kErrorFileNotFound);
  EXPECT_EQ(object_kind(event), ObjectKind::kEvent);
  EXPECT_NE(create_event(nullptr, true, false, nullptr), create_event(nullptr, true, false, nullptr));
}

TEST(ObjectTableTest, EachReferenceIsClosedOnceAndTheLastCloseFreesTheObject) {
  ScopedMachine machine;
  Handle event = create_event(nullptr, true, false, "Counted.Refs");
  Handle copy = duplicate_handle(event);
  ASSERT_NE(copy, kNullHandle);
  EXPECT_EQ(open_event("Counted.Refs"), event);
  EXPECT_TRUE(close_handle(event));
  EXPECT_TRUE(close_handle(copy));
  EXPECT_TRUE(set_event(event)) << "one reference is left";
  EXPECT_TRUE(close_handle(event));
  EXPECT_FALSE(close_handle(event));
  EXPECT_EQ(last_error(), kErrorInvalidHandle);
  EXPECT_EQ(object_kind(event), ObjectKind::kNone);
  EXPECT_EQ(open_event("Counted.Refs"), kNullHandle);
  Handle again = create_event(nullptr, true, false, "Counted.Refs");
  EXPECT_NE(again, event) << "a stale handle never names a later object";
}

TEST(ObjectTableTest, ObjectsOfKilledProcessesAreReclaimed) {
  ScopedMachine machine;
  Helper lone, shared;
  ASSERT_NE(lone.ask_handle("create-event Lone 1 0"), kNullHandle);
  Handle kept = shared.ask_handle("create-mutex Kept 1");
  ASSERT_NE(kept, kNullHandle);
  Handle mine = open_mutex("Kept");
  ASSERT_EQ(mine, kept);
  lone.kill();
  shared.kill();
  EXPECT_EQ(open_event("Lone"), kNullHandle) << "nobody living held it";
  EXPECT_EQ(last_error(), kErrorFileNotFound);
  EXPECT_EQ(open_mutex("Kept"), kept) << "this process still holds it";
  EXPECT_EQ(wait_for_object(kept, kLongWaitMs), kWaitAbandoned0);
  EXPECT_TRUE(release_mutex(kept));
  EXPECT_TRUE(close_handle(kept));
  EXPECT_TRUE(close_handle(kept));
  EXPECT_EQ(open_mutex("Kept"), kNullHandle);
}

TEST(ObjectTableTest, EachMachineHasItsOwnTable) {
  ScopedMachine outer;
  Handle event = create_event(nullptr, true, true, "Per.Machine");
  {
    ScopedMachine inner;
    EXPECT_EQ(open_event("Per.Machine"), kNullHandle);
    EXPECT_NE(create_event(nullptr, true, false, "Per.Machine"), kNullHandle);
    EXPECT_EQ(last_error(), kErrorSuccess);
  }
  EXPECT_EQ(open_event("Per.Machine"), event);
  EXPECT_EQ(wait_for_object(event, 0), kWaitObject0);
}

std::vector<Handle> closed_devices;
bool close_device(Handle handle) {
  closed_devices.push_back(handle);
  return true;
}

TEST(ObjectTableTest, DeviceHandlesGoToTheDeviceCloser) {
  ScopedMachine machine;
  closed_devices.clear();
  Handle device = kFirstDeviceHandle | 7;
  EXPECT_FALSE(close_handle(device));
  set_device_handle_closer(&close_device);
  EXPECT_TRUE(close_handle(device));
  set_device_handle_closer(nullptr);
  EXPECT_EQ(closed_devices, std::vector<Handle>{device});
  EXPECT_EQ(object_kind(device), ObjectKind::kNone);
}

}  // namespace
}  // namespace plat
