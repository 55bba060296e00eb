// The driver through the real path: a kernel-host process loads "Stavro.SYS"
// with two simulated boards; this process and helper processes are its clients.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/device.h"
#include "platform/win/errors.h"

namespace {

using plat::testing::ChildProcess;
using namespace std::chrono_literals;

constexpr char kControl[] = "\\\\.\\STAVRO";

struct Answer {
  bool ok = false;
  std::uint32_t error = 0;
  std::uint32_t returned = 0;
  std::int32_t status = 0;
  std::uint32_t value = 0;
};

class StavroHost : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<ChildProcess>(
        "kernel-host", std::vector<std::string>{"--machine", machine_.dir(), "--board", "FolvantX4Full", "--board",
                                                "FolvantX4Dual"});
    ASSERT_TRUE(host_->wait_for_line("kernel-host ready", 60s));
  }

  void TearDown() override {
    for (plat::Handle device : opened_) plat::close_device(device);
    plat::set_device_caller_width(false);
    ::kill(host_->pid(), SIGTERM);
    EXPECT_EQ(host_->wait(60s), 0);
  }

  plat::Handle Open(const char* name) {
    plat::Handle device = plat::open_device(name);
    if (device != plat::kNullHandle) opened_.push_back(device);
    return device;
  }

  void Close(plat::Handle device) {
    std::erase(opened_, device);
    plat::close_device(device);
  }

  static Answer Ask(plat::Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize,
                    std::uint32_t outputSize) {
    std::vector<std::uint8_t> out(outputSize + 8, 0xEE);
    Answer answer;
    answer.ok = plat::device_io_control(device, code, input, inputSize, out.data(), outputSize, &answer.returned);
    if (!answer.ok) answer.error = plat::last_error();
    if (answer.returned >= 4) std::memcpy(&answer.status, out.data(), 4);
    if (answer.returned >= 8) std::memcpy(&answer.value, out.data() + 4, 4);
    return answer;
  }

  static bool LogShows(const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + 30s;
    do {
      if (plat::support::read_machine_log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

  static std::unique_ptr<ChildProcess> Client() {
    auto client = std::make_unique<ChildProcess>("stavro-helper-client", std::vector<std::string>{});
    EXPECT_EQ(client->read_line(30s), "ready");
    return client;
  }

  static std::string Tell(ChildProcess& client, const std::string& command) {
    client.write_line(command);
    return client.read_line(30s);
  }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<ChildProcess> host_;
  std::vector<plat::Handle> opened_;
};

TEST_F(StavroHost, AnswersAbiVersionToBothWidths) {
  for (bool is32bit : {false, true}) {
    SCOPED_TRACE(is32bit ? "32-bit" : "64-bit");
    plat::set_device_caller_width(is32bit);
    plat::Handle device = Open(kControl);
    ASSERT_NE(device, plat::kNullHandle);
    Answer answer = Ask(device, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, 8);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.returned, 8u);
    EXPECT_EQ(answer.status, QELHW_OK);
    EXPECT_EQ(answer.value, YAT_DRIVER_ABI_VERSION);
  }
}

TEST_F(StavroHost, ValidationAnswersTravelInTheStatusWord) {
  plat::Handle device = Open(kControl);
  ASSERT_NE(device, plat::kNullHandle);

  Answer tooShort = Ask(device, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, 3);
  EXPECT_FALSE(tooShort.ok);
  EXPECT_EQ(tooShort.error, plat::kErrorInvalidParameter);
  EXPECT_EQ(tooShort.returned, 0u);

  Answer statusOnly = Ask(device, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, 4);
  EXPECT_TRUE(statusOnly.ok);
  EXPECT_EQ(statusOnly.returned, 4u);
  EXPECT_EQ(statusOnly.status, QELHW_ERROR_IOC_BUFFER);

  const YatIocHeader index16{YAT_IOC_TARGET_BOARD, 16};
  const YatIocHeader emptySlot{YAT_IOC_TARGET_BOARD, 2};
  const YatIocHeader firstBoard{YAT_IOC_TARGET_BOARD, 0};
  const YatIocHeader noTarget{0, 9};
  struct Case {
    const char* what;
    std::uint32_t code;
    const YatIocHeader* header;
    std::int32_t status;
  } cases[] = {
      {"inside section 0 without a case", 0x222040, nullptr, QELHW_ERROR_IOC_FUNCTION},
      {"outside section 0's range", 0x222044, nullptr, QELHW_ERROR_IOC_FUNCTION},
      {"section 8", 0x223000, nullptr, QELHW_ERROR_DRIVER_ACCESS},
      {"section 9", 0x223200, nullptr, QELHW_ERROR_DRIVER_ACCESS},
      {"board index 16", YAT_IOCTRL_GET_ABI_VERSION, &index16, QELHW_ERROR_NO_BOARD_FOUND},
      {"empty board slot", YAT_IOCTRL_GET_ABI_VERSION, &emptySlot, QELHW_ERROR_NO_BOARD_FOUND},
      {"present board", YAT_IOCTRL_GET_ABI_VERSION, &firstBoard, QELHW_OK},
      {"no board target", YAT_IOCTRL_GET_ABI_VERSION, &noTarget, QELHW_OK},
      {"section 1 code without a case yet", YAT_IOCTRL_START_XFER, &firstBoard, QELHW_ERROR_IOC_FUNCTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Answer answer = Ask(device, c.code, c.header, c.header ? sizeof(YatIocHeader) : 0, 8);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.returned, 8u);
    EXPECT_EQ(answer.status, c.status);
  }
  EXPECT_TRUE(LogShows("Stavro.SYS:Yat_Man_Validate_Ioc: Invalid IOC Index = 0x222044, Range:(0x222000 :0x222040)"));
  EXPECT_TRUE(LogShows("Stavro.SYS: DRVDISPATCH => Invalid IOC section"));
  EXPECT_TRUE(LogShows("Stavro.SYS:Yat_Man_Validate_Ioc: pBoardExt = NULL"));
  EXPECT_TRUE(LogShows("Stavro.SYS: DRVDISPATCH => Output buffer to small for a status"));
}

TEST_F(StavroHost, DriverEntryLogsThroughTheLogDriver) {
  EXPECT_TRUE(LogShows("Stavro.SYS: DRIVERENTRY => Entering (v. 1.00)"));
  EXPECT_TRUE(LogShows("GETCMOSCPUSPEED => cpuSpeed ="));
}

TEST_F(StavroHost, SeventeenthProcessOpensWithoutSlot) {
  std::vector<std::unique_ptr<ChildProcess>> clients;
  for (int i = 0; i < 16; ++i) {
    clients.push_back(Client());
    ASSERT_EQ(Tell(*clients.back(), std::string("open ") + kControl), "opened");
  }
  EXPECT_EQ(plat::support::read_machine_log().find(">AddProcessID< No free process ID"), std::string::npos);
  plat::Handle device = Open(kControl);
  ASSERT_NE(device, plat::kNullHandle);
  EXPECT_TRUE(LogShows("Stavro.SYS: >AddProcessID< No free process ID"));
  EXPECT_EQ(Ask(device, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, 8).value, YAT_DRIVER_ABI_VERSION);
}

TEST_F(StavroHost, SlotOfAKilledProcessIsReused) {
  std::vector<std::unique_ptr<ChildProcess>> clients;
  for (int i = 0; i < 16; ++i) {
    clients.push_back(Client());
    ASSERT_EQ(Tell(*clients.back(), std::string("open ") + kControl), "opened");
  }
  clients.front()->kill_hard();
  // Once the host has seen the death, a new process takes the freed slot.
  auto deadline = std::chrono::steady_clock::now() + 30s;
  bool tookSlot = false;
  while (!tookSlot && std::chrono::steady_clock::now() < deadline) {
    std::size_t before = plat::support::read_machine_log().size();
    auto late = Client();
    ASSERT_EQ(Tell(*late, std::string("open ") + kControl), "opened");
    ASSERT_EQ(Tell(*late, "abi"), "abi 0 100");
    tookSlot = plat::support::read_machine_log().find(">AddProcessID<", before) == std::string::npos;
    if (!tookSlot) std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(tookSlot);
}

TEST_F(StavroHost, RemovingBoardsEmptiesTheirSlotsThenDeletesTheControlDevice) {
  const YatIocHeader board0{YAT_IOC_TARGET_BOARD, 0};
  const YatIocHeader board1{YAT_IOC_TARGET_BOARD, 1};
  {
    auto client = Client();
    ASSERT_EQ(Tell(*client, std::string("open ") + kControl), "opened");
    ASSERT_EQ(Tell(*client, "abi"), "abi 0 100");
    client->write_line("exit");
    EXPECT_EQ(client->wait(30s), 0);
  }
  ASSERT_EQ(plat::testing::board_control_remove(1), plat::board::kControlOk);
  plat::Handle control = Open(kControl);
  ASSERT_NE(control, plat::kNullHandle);
  EXPECT_EQ(Ask(control, YAT_IOCTRL_GET_ABI_VERSION, &board1, sizeof board1, 8).status, QELHW_ERROR_NO_BOARD_FOUND);
  EXPECT_EQ(Ask(control, YAT_IOCTRL_GET_ABI_VERSION, &board0, sizeof board0, 8).value, YAT_DRIVER_ABI_VERSION);
  Close(control);

  ASSERT_EQ(plat::testing::board_control_remove(0), plat::board::kControlOk);
  EXPECT_EQ(plat::open_device(kControl), plat::kNullHandle);
  EXPECT_EQ(plat::last_error(), plat::kErrorFileNotFound);
}

}  // namespace
