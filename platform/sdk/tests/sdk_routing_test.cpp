// Messages between processes: handler ranges of a process's own server,
// servers published by a module in one process and called from another,
// callbacks to the client, and what a killed server process leaves.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>

#include "platform/sdk/tests/sdk_fixture.h"
#include "platform/testing/kernel_host.h"

namespace {

using qelapi::testing::Client;
using qelapi::testing::SdkMachine;
using namespace std::chrono_literals;

TEST(SdkHandlers, TheNewestRangeHoldingACommandAnswersItAndEmptyEntriesAnswerNoHandler) {
  SdkMachine sdk(false);
  Client a;
  ASSERT_TRUE(a.ready());
  // 100: older range | 103: newer range wins | 105: empty entry | 200: no range |
  // 103 once the newer range is gone
  EXPECT_EQ(a.ask("ranges"), "older newer 70 70 older");
}

TEST(SdkServers, AModulesServersInOneProcessAnswerAnother) {
  SdkMachine sdk;
  Client server, client;
  ASSERT_TRUE(server.ready() && client.ready());
  EXPECT_EQ(client.ask("find Tramond-CL_RZ6_1"), "95 0");
  ASSERT_EQ(server.ask("open"), "0");  // loads and opens the module
  std::string server_pid = std::to_string(server.process().pid());
  // The address plan: board b's server at 0x01DE0000 | ((b + 1) << 8).
  EXPECT_EQ(client.ask("find Tramond-CL_RZ6_1"), "0 " + std::to_string(0x01DE0100));
  EXPECT_EQ(client.ask("find Tramond-CL_RZ6_2"), "0 " + std::to_string(0x01DE0200));
  EXPECT_EQ(client.ask("count"), "0 2");
  EXPECT_EQ(client.ask("call Tramond-CL_RZ6_2 1 hello"), "0 0 pid " + server_pid + " hello");
  EXPECT_EQ(client.ask("call Tramond-CL_RZ6_1 77 x"), "0 70 ");  // the module's handler has no 77
  EXPECT_EQ(client.ask("connect Tramond-CL_RZ6_1"), "0");
  EXPECT_EQ(client.ask("internal Tramond-CL_RZ6_2 2147483664 file.cbf"), "0 2147483664:file.cbf");
  EXPECT_EQ(client.ask("index 1"), "0 Tramond-CL_RZ6_2 " + std::to_string(0x01DE0200));
  EXPECT_EQ(client.ask("index 2"), "95  0");
  // The publishing process reaches its own server in-process.
  EXPECT_EQ(server.ask("call Tramond-CL_RZ6_1 1 me"), "0 0 pid " + server_pid + " me");
  EXPECT_EQ(server.ask("close"), "0");
  EXPECT_EQ(client.ask("find Tramond-CL_RZ6_1"), "95 0");
  EXPECT_EQ(client.ask("count"), "0 0");
}

TEST(SdkServers, EachProcessFindsItsOwnServerFirst) {
  SdkMachine sdk;
  Client first, second;
  ASSERT_TRUE(first.ready() && second.ready());
  ASSERT_EQ(first.ask("open"), "0");
  ASSERT_EQ(second.ask("open"), "0");
  EXPECT_EQ(first.ask("count"), "0 4");
  EXPECT_EQ(first.ask("call Tramond-CL_RZ6_1 1 a"), "0 0 pid " + std::to_string(first.process().pid()) + " a");
  EXPECT_EQ(second.ask("call Tramond-CL_RZ6_1 1 b"), "0 0 pid " + std::to_string(second.process().pid()) + " b");
}

TEST(SdkServers, AServerCallsBackIntoTheClientsProcess) {
  SdkMachine sdk;
  Client server, client;
  ASSERT_TRUE(server.ready() && client.ready());
  ASSERT_EQ(server.ask("open"), "0");
  ASSERT_EQ(client.ask("callbacks"), "0");
  client.send("call Tramond-CL_RZ6_1 3 ring");
  // The callback runs in the client's own process, on an SDK thread of its
  // own, while the call gets its answer.
  std::set<std::string> lines{client.reply(), client.reply()};
  EXPECT_EQ(lines, (std::set<std::string>{"ring", "0 0 called back"}));
}

TEST(SdkServers, AHandlerThatReleasesTheLockLetsAnotherProcessTakeIt) {
  SdkMachine sdk;
  Client server, client, other;
  ASSERT_TRUE(server.ready() && client.ready() && other.ready());
  ASSERT_EQ(server.ask("open"), "0");
  client.send("call Tramond-CL_RZ6_1 2 wait");
  ASSERT_TRUE(sdk.handler_blocked());
  EXPECT_EQ(other.ask("lock"), "1");
  EXPECT_EQ(other.ask("unlock"), "1");
  std::ofstream(sdk.machine().path("release")).put('\n');
  EXPECT_EQ(client.reply(), "0 0 released");
}

TEST(SdkServers, AKilledServerProcessLeavesTheDatabaseAndItsWaitingClientTimesOut) {
  SdkMachine sdk;
  Client server, client;
  ASSERT_TRUE(server.ready() && client.ready());
  ASSERT_EQ(server.ask("open"), "0");
  std::string server_pid = std::to_string(server.process().pid());
  client.send("call Tramond-CL_RZ6_1 2 never");
  ASSERT_TRUE(sdk.handler_blocked());
  auto killed = std::chrono::steady_clock::now();
  server.process().kill_hard();
  EXPECT_EQ(client.reply(), "98 - -");  // a time-out, well before the request's own one
  EXPECT_LT(std::chrono::steady_clock::now() - killed, 5s);
  EXPECT_EQ(client.ask("find Tramond-CL_RZ6_1"), "95 0");
  EXPECT_EQ(client.ask("count"), "0 0");
  EXPECT_TRUE(plat::testing::machine_log_shows({"QELAPI: server \"Tramond-CL_RZ6_1\" of dead process"}, 5s));
  EXPECT_TRUE(plat::testing::machine_log_shows({"QELAPI: inbox of dead process " + server_pid + " freed"}, 5s));
  // The machine goes on: a new server process is found and answers.
  Client again;
  ASSERT_TRUE(again.ready());
  ASSERT_EQ(again.ask("open"), "0");
  EXPECT_EQ(client.ask("call Tramond-CL_RZ6_1 1 back"), "0 0 pid " + std::to_string(again.process().pid()) + " back");
}

TEST(SdkServers, AServerThatIsNotAvailableAnswers104) {
  SdkMachine sdk(false);
  Client owner, client;
  ASSERT_TRUE(owner.ready() && client.ready());
  std::string address = std::to_string(0x01050000);
  ASSERT_EQ(owner.ask("publish Plain " + address), "0");
  EXPECT_EQ(client.ask("call Plain 42 x"), "0 0 echo 42");
  ASSERT_EQ(owner.ask("hide Plain " + address), "0");
  EXPECT_EQ(client.ask("call Plain 42 x"), "104 - -");
  EXPECT_EQ(owner.ask("call Plain 43 x"), "0 0 echo 43");  // its own process still reaches it
}

TEST(SdkClient, ProcessIdAndContiguousBuffersThroughTheMemoryLibrary) {
  SdkMachine sdk(false);
  plat::testing::KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  Client a;
  ASSERT_TRUE(a.ready());
  EXPECT_EQ(a.ask("misc"), "1 0 0");
}

TEST(SdkOpen, AModuleWithoutAControlTableIsLeftOutWithALogLine) {
  SdkMachine sdk(false);
  SdkMachine::configure("Missing.VKM");
  Client a;
  ASSERT_TRUE(a.ready());
  EXPECT_EQ(a.ask("close"), "122");
  EXPECT_EQ(a.ask("open"), "0");
  EXPECT_EQ(a.ask("count"), "0 0");
  EXPECT_TRUE(plat::testing::machine_log_shows({"QELAPI: QelManOpen => module \"Missing.VKM\" has no control table"}, 5s));
  EXPECT_EQ(a.ask("close"), "0");
}

}  // namespace
