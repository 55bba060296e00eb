#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/testing/child_process.h"
#include "platform/win/process.h"
#include "qellib/QelWinProcess.h"
#include "qellib_test_support.h"

namespace {

class ProcessUtilsTest : public ::testing::Test {
 protected:
  plat::testing::ScopedMachine machine_;
};

TEST_F(ProcessUtilsTest, ProcessAliveUntilKilled) {
  EXPECT_EQ(IsProcessAlive(static_cast<std::uint32_t>(::getpid())), 1);
  plat::testing::ChildProcess child("qellib-helper-mutex", {"QelAliveTest", "Child"});
  ASSERT_TRUE(child.wait_for_line("locked"));
  auto pid = static_cast<std::uint32_t>(child.pid());
  EXPECT_EQ(IsProcessAlive(pid), 1);
  child.kill_hard();
  EXPECT_EQ(IsProcessAlive(pid), 0);
  EXPECT_EQ(IsProcessAlive(0), 0);
}

TEST_F(ProcessUtilsTest, FileVersionOfADeliverable) {
  std::uint32_t parts[4] = {};
  std::string log_library = plat::testing::sibling_program("QelLog.dll");
  ASSERT_EQ(QelWinGetFileVersion(log_library.c_str(), &parts[0], &parts[1], &parts[2], &parts[3]),
            QELHW_OK);
  EXPECT_EQ(std::vector<std::uint32_t>(parts, parts + 4), (std::vector<std::uint32_t>{3, 2, 0, 7}));

  std::string program = plat::testing::sibling_program("qellib-helper-mutex");
  EXPECT_EQ(QelWinGetFileVersion(program.c_str(), &parts[0], &parts[1], &parts[2], &parts[3]),
            QELHW_ERROR_RESOURCE_MISSING);
  EXPECT_EQ(QelWinGetFileVersion("C:\\none.dll", &parts[0], &parts[1], &parts[2], &parts[3]),
            QELHW_ERROR_RESOURCE_MISSING);
  EXPECT_EQ(QelWinGetFileVersion(nullptr, &parts[0], &parts[1], &parts[2], &parts[3]),
            QELHW_ERROR_NULL_PTR);
}

TEST_F(ProcessUtilsTest, ThreadListHoldsTheCallerAndCountsBeyondTheOutput) {
  std::vector<std::uint32_t> ids(64);
  auto count = static_cast<std::uint32_t>(ids.size());
  ASSERT_EQ(QelWinListThreads(&count, ids.data()), QELHW_OK);
  ids.resize(count);
  EXPECT_NE(std::find(ids.begin(), ids.end(), plat::current_thread_id()), ids.end());

  std::uint32_t one = 0;
  std::uint32_t capacity = 0;
  EXPECT_EQ(QelWinListThreads(&capacity, &one), QELHW_OK);
  EXPECT_EQ(capacity, ids.size());
  EXPECT_EQ(one, 0u);
  EXPECT_EQ(QelWinListThreads(nullptr, ids.data()), QELHW_ERROR_NULL_PTR);
}

TEST_F(ProcessUtilsTest, NoInstallationIsPending) {
  EXPECT_EQ(QelWinWaitNoPendingInstall(1000), QELHW_OK);
}

}  // namespace
