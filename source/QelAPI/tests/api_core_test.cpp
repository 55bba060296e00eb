// The API core inside one process without the SDK's library: the handler
// registry and its dispatch over the host messaging layer, the API lock's
// behaviour when nothing is bound, the event pool, thread errors, settings
// and data formats.
#include <array>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/registry.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelHost/tests/host_test_support.h"

namespace {

using host_test::HostLayer;

// Which handler ran for which command; answers seen by the parent's port server.
std::vector<std::string> g_calls;
std::vector<std::pair<std::uint32_t, QelStatus>> g_answers;

QelStatus Older(QelMessageHeader* request) {
  g_calls.push_back("older " + std::to_string(request->command));
  return QEL_OK;
}

QelStatus Newer(QelMessageHeader* request) {
  g_calls.push_back("newer " + std::to_string(request->command));
  return QEL_OK;
}

QelStatus Parent(QelMessageHeader* message) {
  g_answers.emplace_back(message->transaction, message->command);
  HOSTFREEMSG(message);
  return QEL_OK;
}

class Dispatch : public HostLayer {
 protected:
  void SetUp() override {
    HostLayer::SetUp();
    g_calls.clear();
    g_answers.clear();
    QelApiInstallDispatch();
    SetAddress(0x01DE0100);
    // Answers leave a board's server through port 0 to the parent.
    ASSERT_EQ(HOSTINSTALLPORTSERVER(62, Parent, 0), QEL_OK);
    ASSERT_EQ(HOSTNEWPORT(0, 62), QEL_OK);
  }
  void TearDown() override {
    HOSTFREEPORT(0);
    HOSTUNINSTALLPORTSERVER(62);
    HostLayer::TearDown();
  }

  // Delivers a request for this server, as the deliverer does, and frees it.
  static void Deliver(std::uint32_t command, std::uint32_t transaction) {
    QelMessageHeader* request = nullptr;
    ASSERT_EQ(HOSTALLOCMSG(sizeof(QelMessageHeader), &request), QEL_OK);
    request->destination = HostGetLocalAddress();
    request->source = 0x01000000;
    request->command = command;
    request->transaction = transaction;
    EXPECT_EQ(HOSTSENDANSWER(request), QEL_OK);
    HOSTFREEMSG(request);
  }
};

TEST_F(Dispatch, TheNewestRangeHoldingACommandWinsAndEmptyEntriesAnswer70) {
  const std::array<QelFuncHandler, 10> older{Older, nullptr, nullptr, Older};
  const std::array<QelFuncHandler, 2> newer{Newer, Newer};
  HostFuncHandler* first = nullptr;
  HostFuncHandler* second = nullptr;
  ASSERT_EQ(QelManNewFuncHandler(100, 109, older.data(), &first), QEL_OK);
  ASSERT_EQ(QelManNewFuncHandler(103, 104, newer.data(), &second), QEL_OK);
  Deliver(100, 1);  // the older range
  Deliver(103, 2);  // both hold it: the newer one
  Deliver(105, 3);  // the older range's empty entry
  Deliver(200, 4);  // no range
  ManServerFree(&second);
  EXPECT_EQ(second, nullptr);
  Deliver(103, 5);  // the older range again
  EXPECT_EQ(g_calls, (std::vector<std::string>{"older 100", "newer 103", "older 103"}));
  EXPECT_EQ(g_answers, (std::vector<std::pair<std::uint32_t, QelStatus>>{{3, 70}, {4, 70}}));
  EXPECT_EQ(QelManFreeFuncHandler(first), QEL_OK);
  Deliver(100, 6);
  EXPECT_EQ(g_answers.back(), (std::pair<std::uint32_t, QelStatus>{6, 70}));
}

TEST_F(Dispatch, EntriesAreReplacedOnlyWithinTheirRange) {
  const std::array<QelFuncHandler, 2> table{Older, nullptr};
  HostFuncHandler* token = nullptr;
  ASSERT_EQ(QelManNewFuncHandler(7000, 7001, table.data(), &token), QEL_OK);
  QelFuncHandler previous = nullptr;
  EXPECT_EQ(QelManModifyFuncHandler(nullptr, 7000, Newer, &previous), 310u);
  EXPECT_EQ(QelManModifyFuncHandler(token, 7002, Newer, &previous), 563u);
  EXPECT_EQ(QelManModifyFuncHandler(token, 7001, nullptr, &previous), 822u);
  EXPECT_EQ(QelManModifyFuncHandler(token, 7001, Newer, &previous), QEL_OK);
  EXPECT_EQ(previous, nullptr);
  Deliver(7001, 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"newer 7001"}));
  // A range without table holds a transaction and answers 70 for its ids.
  HostFuncHandler* bare = nullptr;
  ASSERT_EQ(QelManNewFuncHandler(8000, 8009, nullptr, &bare), QEL_OK);
  EXPECT_EQ(QelManModifyFuncHandler(bare, 8001, Newer, &previous), 70u);
  Deliver(8001, 2);
  EXPECT_EQ(g_answers.back(), (std::pair<std::uint32_t, QelStatus>{2, 70}));
  EXPECT_EQ(QelManNewFuncHandler(10, 9, table.data(), &bare), 563u);
  ManServerFree(&bare);
  ManServerFree(&token);
}

TEST_F(HostLayer, WithoutTheSdkLibraryTheLockIsFreeAndNobodyHoldsIt) {
  BindApiLocker();  // finds no "QelApi.DLL" in this process
  EXPECT_FALSE(ApiLockIsBound());
  EXPECT_TRUE(ApiLock());
  EXPECT_EQ(ApiGetLocker(), 0u);
  EXPECT_EQ(ApiUnlockThread(), 1u);
  EXPECT_TRUE(ApiRelockThread(1));
  ApiUnlock();
  QelMessageHeader* request = nullptr;
  ASSERT_EQ(HOSTALLOCMSG(sizeof(QelMessageHeader), &request), QEL_OK);
  QelMessageHeader* answer = nullptr;
  EXPECT_EQ(QelManAllocAnswer(request, 40, &answer), 0x300005Eu);
  EXPECT_EQ(QelManAllocMsg(40, &answer), 0x300005Eu);
  plat::Handle event = plat::kNullHandle;
  EXPECT_EQ(QelManWaitEvent(event, 10), 0x300005Eu);
  // Sending without the lock frees the message.
  EXPECT_EQ(QelManSendAnswer(request), 0x300005Eu);
}

TEST_F(HostLayer, TheSixtyFifthEventWithoutAReleaseIsRefused) {
  ASSERT_EQ(QELMANINITEVENTS(), QEL_OK);
  std::vector<plat::Handle> events(kQelApiEventCount);
  for (plat::Handle& event : events) ASSERT_EQ(QelManGetEvent(&event), QEL_OK);
  plat::Handle more = plat::kNullHandle;
  EXPECT_EQ(QelManGetEvent(&more), 0x3000067u);
  EXPECT_EQ(more, plat::kNullHandle);
  // Only the API lock's holder gives one back.
  EXPECT_EQ(QelManReleaseEvent(events[0]), 0x300005Eu);
  EXPECT_TRUE(Logged("QelManReleaseEvent => Event 0x"));
  EXPECT_EQ(QelManGetEvent(&more), 0x3000067u);
  QelManFreeEvents();
  EXPECT_FALSE(QelManEventsReady());
}

TEST_F(HostLayer, EachThreadKeepsItsOwnErrorTextCutTo1023Characters) {
  EXPECT_EQ(QelManGetThreadError(nullptr), nullptr);
  ASSERT_EQ(QelManSetThreadError(0x3000132, std::string(2000, 'x').c_str()), QEL_OK);
  std::uint32_t code = 0;
  const char* text = QelManGetThreadError(&code);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(code, 0x3000132u);
  EXPECT_EQ(std::string(text), std::string(1023, 'x'));
  std::string other = "unset";
  std::thread([&other] {
    other = QelManGetThreadError(nullptr) == nullptr ? "none" : "some";
    QelManSetThreadError(1, "mine");
    other += std::string(" ") + QelManGetThreadError(nullptr);
  }).join();
  EXPECT_EQ(other, "none mine");
  EXPECT_EQ(std::string(QelManGetThreadError(nullptr)), std::string(1023, 'x'));
  QelManSetThreadError(0, "");
}

TEST_F(HostLayer, SettingsComeFromTheSdkKeyWithTheirDefaults) {
  LoadSettings();
  std::uint32_t value = 0;
  const std::array<std::uint32_t, 6> defaults{0, 128, 4, 15, 1024, 15};
  for (std::uint32_t i = 0; i < 6; ++i) {
    ASSERT_EQ(GetSetting(i, &value, 4), QEL_OK);
    EXPECT_EQ(value, defaults[i]) << i;
    EXPECT_EQ(SettingIndexStatus(i), 0x300002Cu);
  }
  plat::RegistryKey* key = nullptr;
  ASSERT_EQ(plat::reg_create_key(plat::RegistryRoot::kLocalMachine, "Software\\Marvanti Brenk\\Velisk LT\\Settings",
                                 &key),
            0u);
  const std::uint32_t zero = 0, threads = 9;
  plat::reg_set_value(key, "Messaging Fifo Size", plat::kRegDword, &zero, 4);
  plat::reg_set_value(key, "Messaging Number Of Threads", plat::kRegDword, &threads, 4);
  plat::reg_close_key(key);
  LoadSettings();
  ASSERT_EQ(GetSetting(1, &value, 4), QEL_OK);
  EXPECT_EQ(value, 0u);  // stored unchanged
  ASSERT_EQ(GetSetting(2, &value, 4), QEL_OK);
  EXPECT_EQ(value, 9u);
  EXPECT_EQ(GetSetting(0, nullptr, 4), 0x3000232u);
  EXPECT_EQ(GetSetting(6, &value, 4), 0x3000132u);
  EXPECT_EQ(GetSetting(0, &value, 8), 0x3000332u);
  EXPECT_EQ(SettingIndexStatus(6), 0x3000132u);
  EXPECT_EQ(GetCommTimeout(), 10000u);
}

TEST(ApiFormats, TheTableTheDepthsAndTheNames) {
  EXPECT_EQ(QelManGetFormatCode(10), 0x01010800u);
  EXPECT_EQ(QelManGetFormatCode(29), 0x11174000u);
  EXPECT_EQ(QelManGetFormatCode(9), 0xFFFFFFFFu);
  EXPECT_EQ(QelManGetFormatCode(30), 0xFFFFFFFFu);
  EXPECT_EQ(QelManGetFormatIndex(0x61092000), 19u);
  EXPECT_EQ(QelManGetFormatIndex(0x01180100), 28u);
  EXPECT_EQ(QelManGetFormatIndex(0x61081800), 0u);  // named, but not in the table
  EXPECT_EQ(QelManGetFormatPixelDepthMin(0x01021000), 8u);
  EXPECT_EQ(QelManGetFormatPixelDepthMax(0x01021000), 16u);
  EXPECT_EQ(QelManGetFormatPixelDepthMax(0x01180100), 1u);
  EXPECT_EQ(QelManGetFormatPixelDepthMax(0x01200800), 0u);  // format number 32
  char name[32];
  ASSERT_TRUE(QelManGetFormatName(0x611B4000, name, sizeof name));
  EXPECT_STREQ(name, "RGB16161616");
  ASSERT_TRUE(QelManGetFormatName(0x12345678, name, sizeof name));
  EXPECT_STREQ(name, "(unknown)");
  EXPECT_FALSE(QelManGetFormatName(0x01010800, nullptr, 0));
}

}  // namespace
