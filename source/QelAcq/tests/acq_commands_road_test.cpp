// Acquisition commands 4000-4029 on the road of the SDK's users: client
// processes (quillet-helper-acqclient) that reach their server driver through
// "QelApi.dll", one of them killed with SIGKILL.
#include <chrono>
#include <sstream>
#include <thread>

#include "platform/win/registry.h"
#include "source/QelAPI/QelHandle.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;
using plat::testing::ChildProcess;

constexpr std::uint32_t kBoardServer = 0x01DE0100;
constexpr std::uint32_t kInUse = 0x400054;
constexpr std::uint32_t kFrameEvents = 0x1002000;  // frame start and frame end

std::string ServerHex() { return Word(kBoardServer) + Word(0) + Word(0) + Quad(0) + Word(kQelTagServer) + Quad(0); }

struct Answer {
  std::uint32_t status = 0xFFFFFFFF;
  std::string payload;
};

Answer Parse(const std::string& line) {
  std::istringstream in(line);
  std::string word, sent, status;
  Answer answer;
  in >> word >> sent >> status >> answer.payload;
  if (word == "answer" && sent == "0") answer.status = static_cast<std::uint32_t>(std::stoul(status));
  return answer;
}

std::uint32_t WordAt(const std::string& hex, std::size_t byte) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | std::stoul(hex.substr(2 * (byte + i), 2), nullptr, 16);
  return value;
}

std::string Text(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const char c = static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
    if (c == '\0') break;
    text += c;
  }
  return text;
}

class AcqCommands : public Road {
 protected:
  ChildProcess& Client(const char* mode = "open") {
    ChildProcess& client = Start("quillet-helper-acqclient");
    EXPECT_EQ(Ask(client, mode), std::string(mode) + " 0");
    return client;
  }

  static Answer Send(ChildProcess& client, std::uint32_t command, const std::string& hex) {
    return Parse(Ask(client, "send 0 " + std::to_string(command) + " " + hex));
  }

  // 4001 on device 0 of board 0: the device's handle as the answer carries it.
  static Answer Open(ChildProcess& client) { return Send(client, 4001, ServerHex() + Word(0)); }

  static std::uint32_t Prm(ChildProcess& client, const std::string& handle, std::uint32_t id) {
    const Answer answer = Send(client, 4005, handle + Word(id));
    EXPECT_EQ(answer.status, 0u) << std::hex << id;
    return answer.payload.size() >= 8 ? WordAt(answer.payload, 0) : 0xFFFFFFFF;
  }
};

TEST_F(AcqCommands, ADeviceOpensOnceAndIsReclaimedFromAKilledOwner) {
  ChildProcess& first = Client();
  const Answer count = Send(first, 4000, ServerHex());
  ASSERT_EQ(count.status, 0u);
  EXPECT_GE(WordAt(count.payload, 0), 1u);
  const Answer opened = Open(first);
  ASSERT_EQ(opened.status, 0u);
  EXPECT_EQ(WordAt(opened.payload, 20), kQelTagAcqDevice);
  EXPECT_EQ(WordAt(opened.payload, 0), kBoardServer);
  // The device's parameters are its defaults: 8-bit pixels.
  EXPECT_EQ(Prm(first, opened.payload, 0x60004), 8u);
  EXPECT_EQ(Text(Send(first, 4005, opened.payload + Word(0x7000080)).payload).empty(), false);

  ChildProcess& second = Client();
  EXPECT_EQ(Open(second).status, kInUse);
  first.kill_hard();
  const Answer reopened = Open(second);
  ASSERT_EQ(reopened.status, 0u);
  EXPECT_TRUE(LogShows({"terminated abnormally", "recovered successfully"}));
  // Lock and callback fields are clear.
  EXPECT_EQ(Prm(second, reopened.payload, 0x7010004), 0u);
  EXPECT_EQ(Send(second, 4005, reopened.payload + Word(0x7030008)).payload, Quad(0));
  EXPECT_EQ(Send(second, 4002, reopened.payload).status, 0u);
  EXPECT_EQ(Send(second, 4002, reopened.payload).status, 0u);  // not open: nothing to do
}

TEST_F(AcqCommands, ARefusedValueLeavesTheOldOneAndForgedHandlesAreRefused) {
  ChildProcess& client = Client();
  const Answer opened = Open(client);
  ASSERT_EQ(opened.status, 0u);
  const std::string& handle = opened.payload;
  const std::uint32_t depth = Prm(client, handle, 0x60004);
  const Answer refused = Send(client, 4006, handle + Word(0x60004) + Word(99));
  EXPECT_NE(refused.status, 0u);
  EXPECT_EQ(refused.status & 0xFFFFF00u, 0x400600u);
  EXPECT_EQ(Prm(client, handle, 0x60004), depth);
  // An id whose size is not the parameter's is undefined; the answer stays within it.
  EXPECT_EQ(Send(client, 4005, handle + Word(0x60008)).status, 0x400628u);
  // A read-only acquisition-level parameter.
  EXPECT_EQ(Send(client, 4006, handle + Word(0x7010004) + Word(1)).status, 0x47012Cu);

  const std::string forged = handle.substr(0, 48) + Quad(0x1234);
  EXPECT_EQ(Send(client, 4003, forged).status, 0x408C01u);
  EXPECT_EQ(Send(client, 4005, forged + Word(0x60004)).status, 0x408C01u);
  // A request short of its second argument.
  EXPECT_EQ(Send(client, 4005, handle).status, 0x400232u);
}

TEST_F(AcqCommands, TheSerialPortIsNamedByTheBoardOrByTheRegistrysCOMPort) {
  ChildProcess& client = Client();
  const Answer opened = Open(client);
  ASSERT_EQ(opened.status, 0u);
  // The serial-port manager named the board's first port in the machine's serial-port map.
  const Answer named = Send(client, 4025, opened.payload);
  EXPECT_EQ(named.status, 0u);
  EXPECT_EQ(Text(named.payload), "COM3");

  plat::RegistryKey* key = nullptr;
  ASSERT_EQ(plat::reg_open_key(plat::RegistryRoot::kLocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", &key), 0u);
  char name[256];
  std::uint32_t size = sizeof name, type = 0;
  ASSERT_EQ(plat::reg_enum_value(key, 0, name, &size, &type, nullptr, nullptr), 0u);
  EXPECT_NE(std::string(name).find("Tramond-CL_RZ6_1_Serial_0"), std::string::npos) << name;
  EXPECT_EQ(plat::reg_delete_value(key, name), 0u);
  plat::reg_close_key(key);
  EXPECT_EQ(Text(Send(client, 4025, opened.payload).payload), "Tramond-CL_RZ6_1_Serial_0");
}

// The number of client callbacks and the last count, once at least `count` arrived.
std::string AwaitCalls(ChildProcess& client, std::uint32_t count) {
  std::string line;
  for (int attempt = 0; attempt < 600; ++attempt) {
    line = AskLine(client, "calls");
    std::istringstream in(line);
    std::string word;
    std::uint32_t calls = 0;
    in >> word >> calls;
    if (calls >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return line;
}

// Whole CAM/VIC blocks exchanged with a device (4008, 4009) under the
// parameter lock: the locked device refuses single sets and every other pair,
// a refused block is rolled back with the lock kept, 4007 releases the lock;
// unlocked, the whole object is validated and applied.
TEST_F(AcqCommands, CamVicBlocksAreExchangedUnderTheLockWithRollBack) {
  ChildProcess& host = Client("host");
  const std::string handle = Open(host).payload;
  ASSERT_FALSE(handle.empty());
  const auto pair = [&] {
    std::istringstream in(Ask(host, "camvic"));
    std::string word, vic, cam;
    in >> word >> vic >> cam;
    return vic + cam;
  };
  const std::string other = pair(), own = pair();  // the helper's objects are the last pair's
  const auto exchange = [&](std::uint32_t command, const std::string& objects, std::uint32_t flag) {
    return Send(host, command, handle + objects + Word(flag)).status;
  };
  const auto object = [&](std::uint32_t id) { return Ask(host, "objprm cam " + std::to_string(id)); };
  constexpr std::uint32_t kDepth = 0x60004;
  const std::uint32_t depth = Prm(host, handle, kDepth);

  ASSERT_EQ(Ask(host, "objset cam 393220 99"), "objset 0");  // 0x60004, overwritten by the get below
  ASSERT_EQ(exchange(4008, own, 1), 0u);
  EXPECT_EQ(object(kDepth), "objprm 0 " + std::to_string(depth));
  EXPECT_EQ(Send(host, 4006, handle + Word(kDepth) + Word(10)).status, 0x400057u);
  EXPECT_EQ(exchange(4008, other, 1), 0x400057u);
  EXPECT_EQ(exchange(4009, other, 0), 0x400057u);

  struct Case {
    std::uint32_t value;
    bool taken;
  };
  for (const Case& c : {Case{10, true}, Case{99, false}, Case{12, true}}) {
    const std::uint32_t before = Prm(host, handle, kDepth);
    ASSERT_EQ(Ask(host, "objset cam 393220 " + std::to_string(c.value)), "objset 0");
    const std::uint32_t status = exchange(4009, own, 0);
    EXPECT_EQ(status == 0, c.taken) << c.value << " " << std::hex << status;
    EXPECT_EQ(Prm(host, handle, kDepth), c.taken ? c.value : before) << c.value;
    // The lock stays with the pair either way.
    EXPECT_EQ(Send(host, 4006, handle + Word(kDepth) + Word(8)).status, 0x400057u) << c.value;
  }
  EXPECT_EQ(Send(host, 4007, handle + own).status, 0u);
  EXPECT_EQ(Send(host, 4006, handle + Word(kDepth) + Word(8)).status, 0u);

  // Unlocked, every parameter of the object is validated and applied.
  ASSERT_EQ(Ask(host, "objset cam 393220 99"), "objset 0");
  EXPECT_NE(exchange(4009, own, 0), 0u);
  EXPECT_EQ(Prm(host, handle, kDepth), 8u);
  ASSERT_EQ(Ask(host, "objset cam 393220 10"), "objset 0");
  EXPECT_EQ(exchange(4009, own, 0), 0u);
  EXPECT_EQ(Prm(host, handle, kDepth), 10u);
}

TEST_F(AcqCommands, BoardEventsOfATransferConnectedDeviceReachTheClientsCallback) {
  ChildProcess& host = Client("host");
  const Answer opened = Open(host);
  ASSERT_EQ(opened.status, 0u);
  EXPECT_EQ(Ask(host, "threads"), "threads 1");
  const std::string callback = Ask(host, "callback").substr(9);
  const std::string registration =
      opened.payload + ServerHex() + Quad(std::stoull(callback)) + Quad(77) + Word(kFrameEvents);
  ASSERT_EQ(Send(host, 4014, registration).status, 0u);
  EXPECT_EQ(Send(host, 4014, registration).status, kInUse);
  EXPECT_EQ(Prm(host, opened.payload, 0x7010004), kFrameEvents);

  // Not transfer-connected: the events are dropped.
  EXPECT_EQ(Ask(host, "control 0 0 2"), "control 0");
  EXPECT_EQ(Ask(host, "control 0 0 -2"), "control 0");
  EXPECT_EQ(Ask(host, "xfer 0 0 1"), "xfer 0");
  EXPECT_EQ(Ask(host, "control 0 0 -1"), "control 0");
  const std::string calls = AwaitCalls(host, 3);
  EXPECT_EQ(Ask(host, "control 0 0 -2"), "control 0");
  std::istringstream in(calls);
  std::string word;
  std::uint32_t delivered = 0, last = 0, type = 0, events = 0, outOfOrder = 1;
  in >> word >> delivered >> last >> type >> events >> outOfOrder;
  EXPECT_GE(delivered, 3u) << calls;
  EXPECT_EQ(outOfOrder, 0u) << calls;  // each callback's count is one above the last
  EXPECT_NE(type & kFrameEvents, 0u) << calls;
  EXPECT_GE(Prm(host, opened.payload, 0x7020004), delivered);

  EXPECT_EQ(Ask(host, "xfer 0 0 0"), "xfer 0");
  EXPECT_EQ(Send(host, 4002, opened.payload).status, 0u);
  EXPECT_EQ(Ask(host, "threads"), "threads 0");
  EXPECT_EQ(Prm(host, opened.payload, 0x7010004), 0u);
}

}  // namespace

namespace {

// A monitor code through manager control (command 1006 to the process's board
// server, 8 bytes of output): "monitor <status> <output hex>".
std::string MonitorCall(ChildProcess& process, std::uint32_t code, const std::string& hex) {
  const std::string request = ServerHex() + Word(code) + Word(static_cast<std::uint32_t>(hex.size() / 2)) + Word(8);
  const std::string line = AskLine(process, "send 0 1006 " + request + hex);
  const Answer answer = Parse(line);
  if (answer.status == 0xFFFFFFFF) return line;
  return "monitor " + std::to_string(answer.status) + " " + answer.payload;
}

std::uint64_t QuadAt(const std::string& hex) {
  return (static_cast<std::uint64_t>(WordAt(hex, 4)) << 32) | WordAt(hex, 0);
}

std::string MonitorHandleHex(std::uint64_t address) {
  return Word(0) + Word(0) + Word(0) + Quad(1) + Word(kQelTagAcqDevice) + Quad(address);
}

std::uint32_t EventsDelivered(ChildProcess& process, std::uint32_t atLeast) {
  std::uint32_t events = 0;
  for (int attempt = 0; attempt < 600 && events < atLeast; ++attempt) {
    std::istringstream in(AskLine(process, "calls"));
    std::string word;
    std::uint32_t calls = 0, last = 0, type = 0;
    in >> word >> calls >> last >> type >> events;
    if (events < atLeast) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return events;
}

TEST_F(AcqCommands, AMonitorReadsAnotherProcesssDeviceAndReceivesItsEvents) {
  ChildProcess& acquiring = Client("host");
  ASSERT_EQ(Open(acquiring).status, 0u);
  ChildProcess& monitor = Client("host");
  // The monitor's calls come on a request to its board server, as manager control's do.
  ASSERT_EQ(Send(monitor, 4000, ServerHex()).status, 0u);
  const std::string taken = MonitorCall(monitor, 0x80000059, Word(0));
  ASSERT_EQ(taken.substr(0, 10), "monitor 0 ") << taken;
  const std::uint64_t address = QuadAt(taken.substr(10));
  EXPECT_EQ(MonitorCall(acquiring, 0x80000059, Word(0)).substr(0, 18), "monitor " + std::to_string(0x680004B) + " ");
  // Released, the handle can be taken by another process, and then again.
  ASSERT_EQ(MonitorCall(monitor, 0x8000005A, Quad(address)), "monitor 0 " + Quad(0));
  const std::string other = MonitorCall(acquiring, 0x80000059, Word(0));
  ASSERT_EQ(other.substr(0, 10), "monitor 0 ") << other;
  ASSERT_EQ(MonitorCall(acquiring, 0x8000005A, Quad(QuadAt(other.substr(10)))), "monitor 0 " + Quad(0));
  ASSERT_EQ(MonitorCall(monitor, 0x80000059, Word(0)), taken);
  const std::string handle = MonitorHandleHex(address);
  EXPECT_EQ(Prm(monitor, handle, 0x60004), 8u);

  const std::uint64_t event = std::stoull(Ask(monitor, "event").substr(6));
  const std::string registration = Quad(address) + Word(kFrameEvents) + Quad(event) + Quad(5);
  ASSERT_EQ(MonitorCall(monitor, 0x8000005B, registration), "monitor 0 " + Quad(0));
  EXPECT_EQ(MonitorCall(monitor, 0x8000005B, registration), "monitor " + std::to_string(kInUse) + " " + Quad(0));
  EXPECT_EQ(Ask(acquiring, "xfer 0 0 1"), "xfer 0");
  EXPECT_EQ(Ask(acquiring, "control 0 0 -1"), "control 0");
  EXPECT_GE(EventsDelivered(monitor, 3), 3u);
  EXPECT_EQ(Ask(acquiring, "control 0 0 -2"), "control 0");
  // The transfer events' registration, and the FIFOs cleared by the acquiring process.
  EXPECT_EQ(MonitorCall(monitor, 0x8000005C, Quad(address) + Word(0x4000000) + Quad(event) + Quad(6)),
            "monitor 0 " + Quad(0));
  for (std::uint32_t selector : {1u, 19u})
    EXPECT_EQ(MonitorCall(monitor, 0x80000068, Quad(address) + Word(selector)), "monitor 0 " + Quad(0)) << selector;
  EXPECT_NE(MonitorCall(monitor, 0x80000068, Quad(address + 8) + Word(1)).substr(0, 10), "monitor 0 ");

  acquiring.kill_hard();
  EXPECT_EQ(Send(monitor, 4005, handle + Word(0x60004)).status, 0x400032u);
}

TEST_F(AcqCommands, AMonitorFifoHolds4095UnreadEventsAndLogsTheFirstLossOnce) {
  ChildProcess& acquiring = Client("host");
  ASSERT_EQ(Open(acquiring).status, 0u);
  ChildProcess& monitor = Client("host");
  ASSERT_EQ(Send(monitor, 4000, ServerHex()).status, 0u);
  const std::string taken = MonitorCall(monitor, 0x80000059, Word(0));
  const std::uint64_t address = QuadAt(taken.substr(10));
  const std::uint64_t event = std::stoull(Ask(monitor, "event").substr(6));
  ASSERT_EQ(MonitorCall(monitor, 0x8000005B, Quad(address) + Word(kFrameEvents) + Quad(event) + Quad(5)),
            "monitor 0 " + Quad(0));
  monitor.kill_hard();  // nobody reads the FIFO any more
  EXPECT_EQ(Ask(acquiring, "fill 0 0 4095"), "fill 0");
  EXPECT_EQ(Ask(acquiring, "fill 0 0 1"), "fill 1");
  EXPECT_EQ(Ask(acquiring, "fill 0 0 1"), "fill 2");
  const std::string log = plat::support::read_machine_log();
  const std::string line = "monitor acqCallback, fifo overflow brd=0, acq=0";
  const std::size_t first = log.find(line);
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(log.find(line, first + 1), std::string::npos);
}

}  // namespace

