// The library's message functions: argument checks without a driver, and
// the whole path (library -> driver -> board model) with one.
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/testing/board_control.h"
#include "platform/win/device.h"

namespace pardow_test {
namespace {

class Messages : public PardowMachine {
 protected:
  // A process running the library's message functions.
  ChildProcess& messages_client() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-messages", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    return *clients_.back();
  }
};

TEST_F(Messages, ArgumentsAreCheckedBeforeAnyRequest) {
  ChildProcess& c = messages_client();
  EXPECT_EQ(ask(c, "register 5"), "0");
  EXPECT_EQ(ask(c, "unregister 0"), "0");  // never registered
  EXPECT_EQ(ask(c, "handle 0"), std::to_string(QELHW_ERROR_INVALID_HANDLE) + " 0");
  EXPECT_EQ(ask(c, "handle 5").substr(0, 2), "-3");
  EXPECT_EQ(ask(c, "clear 0 6"), "-3");
  EXPECT_EQ(ask(c, "fetch 0 6 40").substr(0, 3), "-3 ");
  EXPECT_EQ(ask(c, "fetch 0 1 20").substr(0, 3), "-3 ");  // smaller than a transfer record
  EXPECT_EQ(ask(c, "gpio 0 32").substr(0, 3), "-3 ");
  EXPECT_EQ(ask(c, "closehandles 7"), "0");
  EXPECT_EQ(ask(c, "dispatch"), std::to_string(QELHW_ERROR_DRIVER_ACCESS));
  finish(c);
}

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The board's register map, which routes need; the library's board bring-up
// does not build it yet, so the test asks the driver itself.
void BuildRegisterMap() {
  plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  ASSERT_NE(device, plat::kNullHandle);
  const YatIocHeader board{YAT_IOC_TARGET_BOARD, 0};
  YatIocStatus out{-1};
  std::uint32_t returned = 0;
  EXPECT_TRUE(plat::device_io_control(device, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &board, sizeof board, &out,
                                      sizeof out, &returned));
  EXPECT_EQ(out.status, QELHW_OK);
  plat::close_device(device);
}

// Trace flags of the driver: registrations (0x20) and the other message requests (0x80).
constexpr const char* kTraceRegistrations = "debug 0xA0";
constexpr std::uint32_t kFrameStatus = 0x8000;  // main status bit 15: channel 0's frame event
constexpr const char* kFrameRoute = "route 0 0 1 0x4000000";

TEST_F(Messages, OpenRegistersTheTransferMessagesAndCloseReleasesThem) {
  start_host({"FolvantX4Full"});
  ChildProcess& tracer = messages_client();
  ASSERT_EQ(ask(tracer, "open"), "0");
  ASSERT_EQ(ask(tracer, kTraceRegistrations), "0");
  ChildProcess& c = messages_client();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_TRUE(log_shows({"<YAT_IOCTRL_REGISTER_EVENT> Event Type 1 ProcessID = 1"}));
  ASSERT_EQ(ask(c, "close"), "0");
  EXPECT_TRUE(log_shows({"<YAT_IOCTRL_REGISTER_EVENT> Event Type 1 ProcessID = 1",
                         "<YAT_IOCTRL_UNREGISTER_EVENT> Resource Type 1 ProcessID = 1"}));
  EXPECT_EQ(log_count("IOCTL_UNREGISTER_MSGEVENT Failed"), 0u);
  finish(c);
  finish(tracer);
}

// A thread may wait on a type's event: a new registration that the driver
// did not take leaves that event in place, and one it took replaces it.
TEST_F(Messages, AFailedRegistrationKeepsTheEventThatIsRegistered) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = messages_client();
  ASSERT_EQ(ask(c, "open"), "0");
  ASSERT_EQ(ask(c, "register 0"), "1");
  const std::string first = ask(c, "handlevalue 0");
  ASSERT_EQ(ask(c, "close"), "0");  // without the device the next registration cannot reach the driver
  EXPECT_EQ(ask(c, "register 0"), "0");
  EXPECT_EQ(ask(c, "handlevalue 0"), first);
  EXPECT_EQ(ask(c, "iswaitable " + first), "live");
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "register 0"), "1");
  EXPECT_NE(ask(c, "handlevalue 0"), first);
  EXPECT_EQ(ask(c, "iswaitable " + first), "closed");
  finish(c);
}

TEST_F(Messages, ARoutedEventIsSignalledFetchedAndCleared) {
  start_host({"FolvantX4Full"});
  BuildRegisterMap();
  ChildProcess& c = messages_client();
  ASSERT_EQ(ask(c, "open"), "0");
  ASSERT_EQ(ask(c, "register 0"), "1");
  ASSERT_EQ(ask(c, "handle 0"), "0 1");
  ASSERT_EQ(ask(c, kFrameRoute), "0");
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  ASSERT_EQ(ask(c, "wait 0 30000"), "signalled");
  // Event bit, channel status, a time stamp, the tag (board 0, channel 0) with the present bit.
  const std::vector<std::string> record = Split(ask(c, "fetch 0 0 20"));
  ASSERT_EQ(record.size(), 11u);
  EXPECT_EQ(record[0], "0");
  EXPECT_EQ(record[1], "4000000");
  EXPECT_EQ(record[2], "0");
  EXPECT_TRUE(record[3] != "0" || record[4] != "0");
  EXPECT_EQ(record[5], "800000");
  EXPECT_EQ(ask(c, "fetch 0 0 20"), std::to_string(QELHW_ERROR_DATA_NO_MESSAGES) + " 0 0 0 0 0 0 0 0 0 0");
  // A cleared queue hands out nothing of what it held.
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  ASSERT_EQ(ask(c, "wait 0 30000"), "signalled");
  EXPECT_EQ(ask(c, "clear 0 0"), "0");
  EXPECT_EQ(ask(c, "fetch 0 0 20").substr(0, 6), std::to_string(QELHW_ERROR_DATA_NO_MESSAGES) + " ");
  // Unrouted, the board's status no longer reaches the queue.
  ASSERT_EQ(ask(c, "unroute 0 0 1 0x4000000"), "0");
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "wait 0 200"), "timeout");
  EXPECT_EQ(ask(c, "unregister 0"), "1");
  EXPECT_EQ(ask(c, "handle 0"), std::to_string(QELHW_ERROR_INVALID_HANDLE) + " 0");
  EXPECT_EQ(ask(c, "close"), "0");
  finish(c);
}

TEST_F(Messages, HostMessagesReachTheRoutedProcess) {
  start_host({"FolvantX4Full"});
  BuildRegisterMap();
  ChildProcess& c = messages_client();
  ASSERT_EQ(ask(c, "open"), "0");
  ASSERT_EQ(ask(c, "route 0 3 7 0x80000000"), "0");
  const std::uint32_t words[8] = {0x40 | 3u << 17, 1u << 13, 0, 16, 0, 0, 0, 0};  // an end, camera slot 3
  ASSERT_EQ(plat::testing::board_control_post_host_message(0, words), plat::board::kControlOk);
  std::string line;
  for (auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;) {
    line = ask(c, "fetch 0 1 40");
    if (line.substr(0, 2) == "0 ") break;
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(line, "0 60040 2000 0 10 0 0 0 0 800000 800002");
  EXPECT_EQ(ask(c, "close"), "0");
  finish(c);
}

TEST_F(Messages, AKilledProcessLeavesNeitherRoutesNorMessages) {
  start_host({"FolvantX4Full"});
  BuildRegisterMap();
  ChildProcess& first = messages_client();
  ASSERT_EQ(ask(first, "open"), "0");
  ASSERT_EQ(ask(first, "register 0"), "1");
  ASSERT_EQ(ask(first, kFrameRoute), "0");
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  ASSERT_EQ(ask(first, "wait 0 30000"), "signalled");
  first.kill_hard();
  ChildProcess& next = messages_client();
  ASSERT_EQ(ask(next, "open"), "0");
  // The channel is free once the driver has closed the dead process.
  std::string routed;
  for (auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;) {
    routed = ask(next, kFrameRoute);
    if (routed == "0") break;
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(routed, "0");
  EXPECT_EQ(ask(next, "fetch 0 0 20").substr(0, 6), std::to_string(QELHW_ERROR_DATA_NO_MESSAGES) + " ");
  EXPECT_EQ(ask(next, "close"), "0");
  finish(next);
}

}  // namespace
}  // namespace pardow_test
