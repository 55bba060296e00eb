// Clients reach the boards the way this system's users do: a process that
// uses only the SDK's client API, through the SDK, the device-control module
// and the server driver, to the board library, the kernel host and the board.
#include <filesystem>
#include <sstream>
#include <thread>

#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;

TEST_F(Road, AClientFindsBothBoardsServersAndGetsTheManagerCommandsAnswered) {
  ChildProcess& client = Start();
  ASSERT_EQ(Ask(client, "open"), "open 0");
  EXPECT_EQ(Ask(client, "find Tramond-CL_RZ6_1"), "found 0 " + std::to_string(0x01DE0100));
  EXPECT_EQ(Ask(client, "find Tramond-CL_RZ6_2"), "found 0 " + std::to_string(0x01DE0200));
  EXPECT_EQ(Ask(client, "find Tramond-CL_RZ6_3"), "found 95 0");
  EXPECT_EQ(Ask(client, "counter"), "counter 1");
  // 1011: the installation directory, in a 256-byte payload.
  const std::string answer = Ask(client, "call Tramond-CL_RZ6_2 1011");
  ASSERT_EQ(answer.substr(0, 11), "answer 0 0 ");
  EXPECT_EQ(answer.size(), 11u + 512u);
  std::string directory;
  for (std::size_t i = 11; i + 1 < answer.size(); i += 2) {
    const char c = static_cast<char>(std::stoul(answer.substr(i, 2), nullptr, 16));
    if (c == '\0') break;
    directory += c;
  }
  EXPECT_EQ(directory, machine_.path("driver"));
  // 1018: the capability word.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1018 " + Word(32)), "answer 0 0 " + Word(1));
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1018 " + Word(33)), "answer 0 0 " + Word(0));
  // 1007 has no handler; 1013 and 1014 connect and disconnect the board.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1007"), "answer 0 70 ");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_2 1013"), "answer 0 0 ");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_2 1014"), "answer 0 0 ");
  // Every request and answer of the exchanges went back to the pool.
  EXPECT_EQ(Ask(client, "blocks"), "blocks 0");
  EXPECT_EQ(Ask(client, "close"), "close 0");
  EXPECT_EQ(Ask(client, "counter"), "counter 0");
}

}  // namespace

namespace {

using namespace road_test;

std::string Functions(ChildProcess& server, int which) {
  std::istringstream words(AskLine(server, "functions"));
  std::string word;
  for (int i = 0; i <= which; ++i) words >> word;
  return word;
}

std::uint64_t Address(ChildProcess& server, int which) { return std::stoull(Functions(server, which + 1)); }

TEST_F(Road, ClientFunctionsRunInTheServersProcessWithTheirArguments) {
  ChildProcess& server = Start();
  ChildProcess& client = Start();  // does not open the SDK: its requests reach the server's inbox
  ASSERT_EQ(Ask(server, "open"), "open 0");
  const std::string serverPid = std::to_string(server.pid());
  // 1005: function, context, event type, event count.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1005 " + Quad(Address(server, 1)) + Quad(0x1122334455ull) + Word(7) +
                            Word(3)),
            "answer 0 0 ");
  // A null function is not called; an address outside every module is refused.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1005 " + Quad(0) + Quad(1) + Word(2) + Word(3)), "answer 0 0 ");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1005 " + Quad(0x1000) + Quad(1) + Word(2) + Word(3)),
            "answer 0 " + std::to_string(0x300004C) + " ");
  // 1010: the function's output, its non-zero result in the manager's module part.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_2 1010 " + Quad(Address(server, 2)) + Quad(77) + Word(7) + Word(3) +
                            Word(3) + "010203"),
            "answer 0 " + std::to_string(0x3000009) + " 030201");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_2 1010 " + Quad(0) + Quad(0) + Word(0) + Word(0) + Word(0)),
            "answer 0 " + std::to_string(0x3000000) + " ");
  // 1012: one call per entry of the first array, each with an event-information object.
  std::string descriptor = Word(0) + Word(2) + Word(0) + Quad(0) + Quad(0);
  for (int i = 0; i < 9; ++i) descriptor += Word(0);
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1012 " + Quad(Address(server, 3)) + Quad(55) + Word(1) + descriptor +
                            Word(5) + Word(6)),
            "answer 0 0 ");
  // A request too short for its fields names the first missing one.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1005 " + Quad(0)), "answer 0 " + std::to_string(0x3000335) + " ");
  EXPECT_EQ(plat::testing::read_file(machine_.path("calls")),
            "callback " + std::to_string(0x1122334455ull) + " 7 3 " + serverPid + "\nfunction 7 77\nevent 55 " +
                std::to_string(0xcccc010b) + "\nevent 55 " + std::to_string(0xcccc010b) + "\n");
  EXPECT_EQ(Ask(client, "blocks"), "blocks 0");
}

TEST_F(Road, ClientLogLinesAreTakenLiterallyAndShortRequestsNameTheirMissingArgument) {
  ChildProcess& client = Start();
  ASSERT_EQ(Ask(client, "open"), "open 0");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1002 " + Word(1) + Word(42) + TextField("100%s %n %x done", 256) +
                            TextField("client.cpp", 11)),
            "answer 0 0 ");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1001 " + Word(0x3100046) + Word(7) + TextField("status.cpp", 11)),
            "answer 0 0 ");
  EXPECT_TRUE(LogShows({"L1 Quillet.DLL client.cpp:42 100%s %n %x done",
                        "L1 Quillet.DLL status.cpp:7 Unknown error (3100046)"}));
  // A text that fills its field without a terminator stops at the field's end.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1002 " + Word(2) + Word(43) + TextField(std::string(300, 'a'), 256) +
                            TextField("long.cpp", 9)),
            "answer 0 0 ");
  EXPECT_TRUE(LogShows({"L2 Quillet.DLL long.cpp:43 " + std::string(255, 'a')}));
  // The declared input is longer than the request; the word 1018 needs is missing.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1000 " + Word(0xA0000000) + Word(100) + Word(0) + "0102"),
            "answer 0 " + std::to_string(0x3000535) + " ");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1018"), "answer 0 " + std::to_string(0x3000235) + " " + Word(0));
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1002 " + Word(2)), "answer 0 " + std::to_string(0x3000335) + " ");
  // No private callback is set in this process.
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1000 " + Word(0xA0000000) + Word(0) + Word(0)),
            "answer 0 " + std::to_string(0x300004B) + " ");
  EXPECT_EQ(Ask(client, "blocks"), "blocks 0");
}

TEST_F(Road, TwoProcessesOpenTheInstanceAtOnceAndOneGoesOnWhenTheOtherCloses) {
  ChildProcess& first = Start();
  ChildProcess& second = Start();
  first.write_line("open");
  second.write_line("open");
  EXPECT_EQ(first.read_line(60s), "open 0");
  EXPECT_EQ(second.read_line(60s), "open 0");
  EXPECT_EQ(Ask(first, "counter"), "counter 2");
  // Each process reaches its own servers.
  EXPECT_EQ(Ask(first, "call Tramond-CL_RZ6_1 1018 " + Word(160)), "answer 0 0 " + Word(1));
  EXPECT_EQ(Ask(second, "call Tramond-CL_RZ6_2 1018 " + Word(1)), "answer 0 0 " + Word(1));
  EXPECT_EQ(Ask(first, "close"), "close 0");
  EXPECT_EQ(Ask(second, "counter"), "counter 1");
  EXPECT_EQ(Ask(second, "call Tramond-CL_RZ6_1 1018 " + Word(32)), "answer 0 0 " + Word(1));
  EXPECT_EQ(Ask(second, "call Tramond-CL_RZ6_1 1014"), "answer 0 0 ");
  EXPECT_EQ(Ask(second, "close"), "close 0");
  EXPECT_EQ(Ask(second, "counter"), "counter 0");
}

TEST_F(Road, AHeldInstanceMutexRefusesTheOpenWith121AndChangesNothing) {
  ChildProcess& holder = Start();
  ChildProcess& opener = Start();
  ASSERT_EQ(Ask(holder, "holdmutex"), "mutex 1");
  // The wait for the mutex lasts its 20 seconds; the SDK leaves the module out.
  EXPECT_EQ(Ask(opener, "open"), "open 0");
  EXPECT_TRUE(LogShows({"QELAPI: QelManOpen => module \"Ormel.VKM\" open failed (121)"}));
  EXPECT_EQ(Ask(opener, "counter"), "counter 0");
  EXPECT_EQ(Ask(opener, "find Tramond-CL_RZ6_1"), "found 95 0");
  ASSERT_EQ(Ask(holder, "releasemutex"), "mutex 0");
  EXPECT_EQ(Ask(opener, "close"), "close 0");
  EXPECT_EQ(Ask(opener, "open"), "open 0");
  EXPECT_EQ(Ask(opener, "counter"), "counter 1");
  EXPECT_EQ(Ask(opener, "call Tramond-CL_RZ6_1 1018 " + Word(1)), "answer 0 0 " + Word(1));
}

TEST_F(Road, ABoardLibraryOfAnotherAbiFailsTheOpenWith86AndTheLineNamesBothVersions) {
  ChildProcess& opener = Start();
  ASSERT_EQ(Ask(opener, "env YATFOLVA4X_TEST_DRIVER_ABI 99"), "env 0");
  EXPECT_EQ(Ask(opener, "open"), "open 0");
  EXPECT_TRUE(LogShows({"Quillet.DLL, Incompatible Driver ABI Version: Low-Level Driver = 99, Velisk Driver = 100",
                        "Quillet.DLL: HostFirmwareInitInstance => Cannot initialize: 0x56",
                        "QELAPI: QelManOpen => module \"Ormel.VKM\" open failed (86)"}));
  // The module closed what the failed open did.
  EXPECT_EQ(Ask(opener, "counter"), "counter 0");
  EXPECT_EQ(Ask(opener, "find Tramond-CL_RZ6_1"), "found 95 0");
}

TEST_F(Road, AHandlerThatReleasesTheApiLockLetsAnotherThreadAndAnotherProcessTakeIt) {
  ChildProcess& server = Start();
  ChildProcess& blocked = Start();
  ChildProcess& other = Start();
  ChildProcess& outsider = Start();
  ASSERT_EQ(Ask(server, "open"), "open 0");
  ASSERT_EQ(Ask(blocked, "call Tramond-CL_RZ6_1 1003 " + Quad(Address(server, 0))), "answer 0 0 ");
  // Codes below 0xA0000000 are refused before the callback is looked at.
  EXPECT_EQ(Ask(blocked, "call Tramond-CL_RZ6_1 1000 " + Word(0x9FFFFFFF) + Word(0) + Word(0)),
            "answer 0 " + std::to_string(0x3000132) + " ");
  blocked.write_line("call Tramond-CL_RZ6_1 1000 " + Word(0xA0000001) + Word(2) + Word(16) + "6869");
  for (int i = 0; i < 2000 && !std::filesystem::exists(machine_.path("blocked")); ++i)
    std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(std::filesystem::exists(machine_.path("blocked")));
  // Another process takes the lock, another SDK thread of the server serves a request.
  EXPECT_EQ(Ask(outsider, "lock"), "lock 1");
  EXPECT_EQ(Ask(outsider, "unlock"), "unlock 1");
  EXPECT_EQ(Ask(other, "call Tramond-CL_RZ6_2 1018 " + Word(32)), "answer 0 0 " + Word(1));
  plat::testing::write_file(machine_.path("release"), "1\n");
  EXPECT_EQ(blocked.read_line(60s), "answer 0 0 " + TextField("code " + std::to_string(0xA0000001u) + " hi", 16));
}

TEST_F(Road, AKilledServerProcessLeavesTheDatabaseAndItsWaitingClientTimesOut) {
  ChildProcess& server = Start();
  ChildProcess& client = Start();
  ASSERT_EQ(Ask(server, "open"), "open 0");
  ASSERT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1003 " + Quad(Address(server, 0))), "answer 0 0 ");
  client.write_line("call Tramond-CL_RZ6_1 1000 " + Word(0xA0000001) + Word(0) + Word(0));
  for (int i = 0; i < 2000 && !std::filesystem::exists(machine_.path("blocked")); ++i)
    std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(std::filesystem::exists(machine_.path("blocked")));
  const auto killed = std::chrono::steady_clock::now();
  server.kill_hard();
  EXPECT_EQ(client.read_line(60s), "answer 98 - -");
  EXPECT_LT(std::chrono::steady_clock::now() - killed, 5s);
  EXPECT_EQ(Ask(client, "find Tramond-CL_RZ6_1"), "found 95 0");
  // A new server process serves again.
  ChildProcess& again = Start();
  ASSERT_EQ(Ask(again, "open"), "open 0");
  EXPECT_EQ(Ask(client, "call Tramond-CL_RZ6_1 1018 " + Word(1)), "answer 0 0 " + Word(1));
}

}  // namespace
