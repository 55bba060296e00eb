#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/win/objects.h"
#include "platform/win/process.h"
#include "qellib/QelMsgThread.h"
#include "qellib/QelWinProcess.h"
#include "qellib_test_support.h"

namespace {

using qellib_test::LogLineWith;

// What one piece of work saw: the thread it ran on and that thread's priority.
struct WorkSeen {
  std::atomic<std::uint32_t> thread_id{0};
  std::atomic<int> priority{-100};
};

std::int32_t RecordWork(void* argument) {
  auto* seen = static_cast<WorkSeen*>(argument);
  seen->priority = plat::thread_priority();
  seen->thread_id = plat::current_thread_id();
  return 0;
}

bool WaitUntilFree(const MsgThreadRecord& record) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (record.argument.load() != nullptr) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool ThreadListed(std::uint32_t thread_id) {
  std::vector<std::uint32_t> ids(256);
  auto count = static_cast<std::uint32_t>(ids.size());
  if (QelWinListThreads(&count, ids.data()) != QELHW_OK) return false;
  ids.resize(std::min<std::size_t>(count, ids.size()));
  return std::find(ids.begin(), ids.end(), thread_id) != ids.end();
}

class MsgThreadTest : public qellib_test::LoggedMachineTest {
 protected:
  void TearDown() override {
    FreeMsgThreadLock();
    LoggedMachineTest::TearDown();
  }
};

TEST_F(MsgThreadTest, EachThreadRunsItsWorkAtThePoolPriorityAndStops) {
  SetMsgThreadPriority(plat::kThreadPriorityBelowNormal);
  MsgThreadPool* pool = BeginMsgThread(3, RecordWork, nullptr);
  ASSERT_NE(pool, nullptr);
  ASSERT_EQ(pool->count, 3u);

  WorkSeen seen[3];
  for (std::uint32_t i = 0; i < 3; ++i) {
    pool->threads[i].argument = &seen[i];
    ASSERT_TRUE(plat::set_event(pool->threads[i].work_event));
  }
  std::set<std::uint32_t> workers;
  for (std::uint32_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(WaitUntilFree(pool->threads[i]));
    EXPECT_EQ(seen[i].priority.load(), plat::kThreadPriorityBelowNormal);
    workers.insert(seen[i].thread_id.load());
  }
  ASSERT_EQ(workers.size(), 3u);
  EXPECT_EQ(workers.count(plat::current_thread_id()), 0u);
  for (std::uint32_t worker : workers) EXPECT_TRUE(ThreadListed(worker));

  QelWinCloseThreads(pool);
  for (std::uint32_t worker : workers) EXPECT_FALSE(ThreadListed(worker));
}

TEST_F(MsgThreadTest, NamedExitEventEndsEveryThread) {
  plat::Handle exit_event = plat::create_event(nullptr, true, false, "QelTestMsgExit");
  ASSERT_NE(exit_event, plat::kNullHandle);
  MsgThreadPool* pool = BeginMsgThread(2, RecordWork, "QelTestMsgExit");
  ASSERT_NE(pool, nullptr);
  WorkSeen seen;
  pool->threads[1].argument = &seen;
  plat::set_event(pool->threads[1].work_event);
  ASSERT_TRUE(WaitUntilFree(pool->threads[1]));

  ASSERT_TRUE(plat::set_event(exit_event));
  for (std::uint32_t i = 0; i < 2; ++i)
    EXPECT_EQ(plat::wait_for_object(pool->threads[i].started_event, 20000), plat::kWaitObject0);
  QelWinCloseThreads(pool);
  EXPECT_FALSE(ThreadListed(seen.thread_id.load()));
  plat::close_handle(exit_event);
}

TEST_F(MsgThreadTest, PoolsThatCannotBeMadeAreRefusedWithALine) {
  EXPECT_EQ(BeginMsgThread(0, RecordWork, nullptr), nullptr);
  EXPECT_FALSE(LogLineWith(": BeginMsgThread => Cannot create all data structures (0 threads)")
                   .empty());
  EXPECT_EQ(BeginMsgThread(2, RecordWork, "QelNoSuchExitEvent"), nullptr);
  EXPECT_FALSE(LogLineWith(": BeginMsgThread => Cannot create all message events").empty());
  QelWinCloseThreads(nullptr);
}

}  // namespace
