#include <chrono>
#include <string>

#include "platform/testing/child_process.h"
#include "platform/win/objects.h"
#include "qellib/QelSharedMutex.h"
#include "qellib_test_support.h"

namespace {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;
using qellib_test::LogLineWith;

constexpr const char* kHelper = "qellib-helper-mutex";
constexpr const char* kMutexName = "HABRIX_QELYATCLFOLVA4X_DLL_MUTEX";

class SharedMutexTest : public qellib_test::LoggedMachineTest {};

TEST_F(SharedMutexTest, HolderKilledLetsTheWaiterTakeItAsAbandoned) {
  ChildProcess holder(kHelper, {kMutexName, "HolderA"});
  ASSERT_TRUE(holder.wait_for_line("locked"));

  ChildProcess waiter(kHelper, {kMutexName, "WaiterB"});
  ASSERT_TRUE(waiter.wait_for_line("ready"));
  EXPECT_EQ(waiter.read_line(300ms), "") << "the waiter must not get a held mutex";

  holder.kill_hard();
  ASSERT_TRUE(waiter.wait_for_line("locked"));
  std::string line = LogLineWith("WaiterB,  Mutex abandonned ");
  EXPECT_EQ(line.rfind("L3 ", 0), 0u) << line;

  waiter.write_line("release");
  EXPECT_TRUE(waiter.wait_for_line("released"));
  EXPECT_EQ(waiter.wait(), 0);
  // Released properly this time: the next taker sees no abandoned mutex.
  plat::Handle mutex = SharedMutexLock(kMutexName, "Tester");
  ASSERT_NE(mutex, plat::kNullHandle);
  EXPECT_TRUE(LogLineWith("Tester,  Mutex abandonned ").empty());
  EXPECT_TRUE(plat::release_mutex(mutex));
  plat::close_handle(mutex);
}

TEST_F(SharedMutexTest, ExpiredWaitGetsNoHandle) {
  ChildProcess holder(kHelper, {kMutexName, "HolderA"});
  ASSERT_TRUE(holder.wait_for_line("locked"));

  SharedMutexRequest request{sizeof(SharedMutexRequest), kMutexName, "Tester", 200};
  EXPECT_EQ(SharedMutexCreate(&request), plat::kNullHandle);
  std::string line = LogLineWith("Tester,  WaitForSingleObject Failed ");
  EXPECT_EQ(line.rfind("L0 ", 0), 0u) << line;

  holder.write_line("release");
  EXPECT_TRUE(holder.wait_for_line("released"));
}

TEST_F(SharedMutexTest, MalformedRequestGetsNoHandle) {
  SharedMutexRequest request{4, kMutexName, "Tester", 200};
  EXPECT_EQ(SharedMutexCreate(&request), plat::kNullHandle);
  EXPECT_EQ(SharedMutexCreate(nullptr), plat::kNullHandle);
}

TEST_F(SharedMutexTest, SecurityAttributesCarryANullDacl) {
  plat::SecurityAttributes* attributes = nullptr;
  plat::SecurityDescriptor* descriptor = nullptr;
  ASSERT_NE(CreateSecurityAttributes(&attributes, &descriptor, "Tester"), 0);
  EXPECT_EQ(attributes->descriptor, descriptor);
  EXPECT_EQ(attributes->inherit_handle, 0u);
  EXPECT_EQ(descriptor->dacl_present, 1u);
  EXPECT_EQ(descriptor->dacl, nullptr);
  FreeSecurityAttributes(attributes, descriptor);

  EXPECT_EQ(InitSecurityDesc(nullptr, "Tester"), 0);
  EXPECT_FALSE(LogLineWith("Tester, InitSecurityDesc Failed, WinErr ").empty());
}

}  // namespace
