// The manager lock between processes, its depth, and a dead holder's lock.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/sdk/tests/sdk_fixture.h"
#include "platform/testing/kernel_host.h"
#include "platform/win/version.h"

namespace {

using qelapi::testing::Client;
using qelapi::testing::SdkMachine;
using namespace std::chrono_literals;

TEST(SdkLock, HeldByOneProcessAtATimeAndNamedByItsHolder) {
  SdkMachine sdk(false);
  Client a, b;
  ASSERT_TRUE(a.ready() && b.ready());
  std::string a_thread = a.ask("tid");
  EXPECT_EQ(b.ask("holder"), "0");
  EXPECT_EQ(a.ask("lock"), "1");
  EXPECT_EQ(b.ask("holder"), a_thread);
  b.send("lock");
  EXPECT_EQ(b.reply(300ms), "");  // waits while a holds it
  EXPECT_EQ(a.ask("unlock"), "1");
  EXPECT_EQ(b.reply(), "1");
  EXPECT_EQ(a.ask("holder"), b.ask("tid"));
  EXPECT_EQ(a.ask("unlock"), "0");  // a holds nothing
  EXPECT_EQ(b.ask("unlock"), "1");
  EXPECT_EQ(a.ask("holder"), "0");
}

TEST(SdkLock, RecursiveWithItsDepthReleasedAndRetakenWhole) {
  SdkMachine sdk(false);
  Client a;
  ASSERT_TRUE(a.ready());
  // taken 3 deep | held by me | released whole from depth 3 | free | retaken | mine |
  // three unlocks | free | a fourth unlock finds nothing
  EXPECT_EQ(a.ask("depth"), "1 1 3 0 1 1 3 0 0");
}

TEST(SdkLock, ADeadHoldersLockIsTakenWithALogLine) {
  SdkMachine sdk(false);
  Client a, b;
  ASSERT_TRUE(a.ready() && b.ready());
  std::string a_thread = a.ask("tid");
  // b knows the lock too (the last process that knows a lock takes it with it).
  EXPECT_EQ(b.ask("lock"), "1");
  EXPECT_EQ(b.ask("unlock"), "1");
  EXPECT_EQ(a.ask("lock"), "1");
  a.process().kill_hard();
  EXPECT_EQ(b.ask("holder"), "0");  // a dead holder holds nothing
  EXPECT_EQ(b.ask("lock"), "1");
  EXPECT_EQ(b.ask("holder"), b.ask("tid"));
  EXPECT_TRUE(plat::testing::machine_log_shows({"QELAPI: QelManLock => manager lock of dead thread " + a_thread}, 5s));
  EXPECT_EQ(b.ask("unlock"), "1");
}

TEST(SdkIdentity, TheLibraryCarriesVersionAtLeast5_20) {
  SdkMachine sdk(false);
  plat::VersionRecord version{};
  ASSERT_TRUE(plat::read_file_version(plat::testing::sibling_program("QelApi.dll").c_str(), &version));
  EXPECT_GE(version.file_version[0] * 100u + version.file_version[1], 520u);
}

TEST(SdkSettings, RegistryValuesOrDefaults) {
  SdkMachine sdk(false);
  plat::RegistryKey* key = nullptr;
  ASSERT_EQ(plat::reg_create_key(plat::RegistryRoot::kLocalMachine, qelapi::kSettingsKey, &key), 0u);
  std::uint32_t zero = 0, two = 2;
  plat::reg_set_value(key, "Messaging Fifo Size", plat::kRegDword, &zero, 4);
  plat::reg_set_value(key, "Messaging Number Of Threads", plat::kRegDword, &two, 4);
  plat::reg_close_key(key);
  Client a;
  ASSERT_TRUE(a.ready());
  EXPECT_EQ(a.ask("setting 0"), "0 0");
  EXPECT_EQ(a.ask("setting 1"), "0 0");  // stored unchanged
  EXPECT_EQ(a.ask("setting 2"), "0 2");
  EXPECT_EQ(a.ask("setting 3"), "0 15");
  EXPECT_EQ(a.ask("setting 4"), "0 1024");
  EXPECT_EQ(a.ask("setting 5"), "0 15");
  EXPECT_EQ(a.ask("setting 6"), "563 0");
}

}  // namespace
