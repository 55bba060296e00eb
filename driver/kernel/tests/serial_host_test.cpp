// The boards' Camera Link serial ports through the real path: a kernel host
// runs the driver, the serial-port manager and two boards (one port on the
// first, two on the second); the test opens a port's terminal as a terminal
// program would, and the camera at the far end of the line answers.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/tests/serial_terminal.h"
#include "driver/user/QelHwStatus.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/device.h"

namespace {

using namespace std::chrono_literals;
using plat::board::ControlUartView;
using plat::board::UartPeerMode;
using plat::testing::machine_log_shows;

constexpr std::uint32_t kDivisorMask = 0x1FF;
constexpr std::uint32_t kEightBits = 0x200;
constexpr std::uint32_t kParityBits = 0xC00;

class SerialHost : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> extra = {}) {
    host_ = std::make_unique<plat::testing::KernelHostProcess>(
        std::vector<std::string>{"FolvantX4Full", "FolvantX4Dual"}, "Stavro.SYS", extra);
    ASSERT_TRUE(host_->ready());
    device_ = plat::open_device("\\\\.\\STAVRO");
    ASSERT_NE(device_, plat::kNullHandle);
  }

  void TearDown() override {
    if (HasFailure()) std::cout << plat::support::read_machine_log();
    for (int fd : terminals_) ::close(fd);
    if (device_ != plat::kNullHandle) plat::close_device(device_);
    if (host_) {
      EXPECT_EQ(host_->stop(), 0);
    }
  }

  // The register map is built as after an FPGA load: the ports register then.
  std::int32_t BuildRegisterMap(std::uint32_t board) {
    YatIocHeader header{YAT_IOC_TARGET_BOARD, board};
    std::int32_t status = 0x7777;
    std::uint32_t returned = 0;
    if (!plat::device_io_control(device_, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &header, sizeof header, &status,
                                 sizeof status, &returned))
      return 0x7777;
    return status;
  }

  std::int32_t Reload(std::uint32_t board) {
    YatIocReloadIn in{{YAT_IOC_TARGET_BOARD, board}, 2, 0};
    std::int32_t status = 0x7777;
    std::uint32_t returned = 0;
    plat::device_io_control(device_, IOCTRL_RELOAD, &in, sizeof in, &status, sizeof status, &returned);
    return status;
  }

  std::string NameFile(int board, int port) const {
    return machine_.path("serial/board" + std::to_string(board) + "-port" + std::to_string(port));
  }

  // The terminal's path as the manager publishes it.
  std::string TerminalPath(int board, int port, std::chrono::milliseconds timeout = 30s) const {
    const auto limit = std::chrono::steady_clock::now() + timeout;
    do {
      std::ifstream in(NameFile(board, port));
      std::string path;
      if (std::getline(in, path) && !path.empty()) return path;
      std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < limit);
    return {};
  }

  int OpenPort(int board, int port, std::uint32_t baud = 9600) {
    const std::string path = TerminalPath(board, port);
    EXPECT_FALSE(path.empty()) << "no terminal for board " << board << " port " << port;
    const int fd = OpenTerminal(path);
    EXPECT_GE(fd, 0) << path;
    if (fd >= 0) {
      terminals_.push_back(fd);
      EXPECT_TRUE(SetTerminalLine(fd, baud, 8, TerminalParity::kNone));
    }
    return fd;
  }

  // Waits until the UART's control word satisfies `test`.
  template <typename Test>
  ControlUartView WaitForUart(int board, std::uint32_t port, Test test) {
    ControlUartView view{};
    const auto limit = std::chrono::steady_clock::now() + 30s;
    do {
      if (plat::testing::board_control_uart_view(board, port, &view) == plat::board::kControlOk && test(view))
        return view;
      std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < limit);
    return view;
  }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<plat::testing::KernelHostProcess> host_;
  plat::Handle device_ = plat::kNullHandle;
  std::vector<int> terminals_;
};

std::vector<std::uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Pattern(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST_F(SerialHost, EachPortIsATerminalWhoseTextTheCameraEchoes) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(BuildRegisterMap(0), QELHW_OK);
  ASSERT_EQ(BuildRegisterMap(1), QELHW_OK);
  EXPECT_FALSE(TerminalPath(0, 0).empty());
  EXPECT_FALSE(TerminalPath(1, 1).empty());
  EXPECT_FALSE(std::filesystem::exists(NameFile(0, 1)));  // the first board has one port

  const int fd = OpenPort(1, 0, 115200);
  ASSERT_GE(fd, 0);
  WaitForUart(1, 0, [](const ControlUartView& v) { return (v.control & kDivisorMask) == 26; });
  // More than the transmit FIFO holds: the writer really waits for it.
  std::string line;
  for (int i = 0; i < 12; ++i) line += "camera command " + std::to_string(i) + "\r";
  const std::vector<std::uint8_t> sent = Text(line);
  ASSERT_TRUE(WriteTerminal(fd, sent));
  EXPECT_EQ(ReadTerminal(fd, sent.size(), 30s), sent);
  std::vector<std::uint8_t> heard;
  ASSERT_EQ(plat::testing::board_control_uart_heard(1, 0, &heard), plat::board::kControlOk);
  EXPECT_EQ(heard, sent);
  ControlUartView view{};
  ASSERT_EQ(plat::testing::board_control_uart_view(1, 0, &view), plat::board::kControlOk);
  EXPECT_EQ(view.heard_baud, 50000000u / (16 * 27));
}

TEST_F(SerialHost, ScriptedCameraAnswersEachCommand) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(BuildRegisterMap(0), QELHW_OK);
  const std::vector<std::uint8_t> reply = Text("OK>");
  ASSERT_EQ(plat::testing::board_control_uart_set_peer(0, 0, UartPeerMode::kReply, reply), plat::board::kControlOk);
  const int fd = OpenPort(0, 0);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteTerminal(fd, Text("gain 3\r")));
  EXPECT_EQ(ReadTerminal(fd, reply.size(), 30s), reply);
}

struct LineCase {
  std::uint32_t baud;
  int dataBits;
  TerminalParity parity;
  std::uint32_t divisor;
  std::uint32_t lineBits;  // bit 9 and bits 10-11
};

TEST_F(SerialHost, TerminalSettingsProgramTheUart) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(BuildRegisterMap(1), QELHW_OK);
  const int fd = OpenPort(1, 1);
  ASSERT_GE(fd, 0);
  const LineCase cases[] = {
      {115200, 8, TerminalParity::kNone, 26, kEightBits},
      {9600, 8, TerminalParity::kNone, 325, kEightBits},
      {57600, 8, TerminalParity::kNone, 53, kEightBits},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.baud);
    ASSERT_TRUE(SetTerminalLine(fd, c.baud, c.dataBits, c.parity));
    const ControlUartView view = WaitForUart(1, 1, [&](const ControlUartView& v) {
      return (v.control & kDivisorMask) == c.divisor && (v.control & (kEightBits | kParityBits)) == c.lineBits;
    });
    EXPECT_EQ(view.control & kDivisorMask, c.divisor);
    EXPECT_EQ(view.control & (kEightBits | kParityBits), c.lineBits);
  }
  // A rate whose divisor would not fit is refused: the UART keeps the last one.
  ASSERT_TRUE(SetTerminalLine(fd, 6000, 8, TerminalParity::kNone));
  EXPECT_TRUE(machine_log_shows({"Yat_SerialSetBaudRate => Unsupported Baud Rate Board(1), Port(1) @6000"}));
  ControlUartView view{};
  ASSERT_EQ(plat::testing::board_control_uart_view(1, 1, &view), plat::board::kControlOk);
  EXPECT_EQ(view.control & kDivisorMask, 53u);
}

TEST_F(SerialHost, ManagerStartedAfterTheDriverGetsThePortsThroughItsCallback) {
  ASSERT_NO_FATAL_FAILURE(Start({"--qelserial-late"}));
  ASSERT_EQ(BuildRegisterMap(1), QELHW_OK);
  EXPECT_TRUE(machine_log_shows({"GetSerialMgrDeviceObject => QelSerial Driver Not Running"}));
  EXPECT_TRUE(TerminalPath(1, 0, 200ms).empty());
  ASSERT_EQ(::kill(host_->pid(), SIGUSR1), 0);
  EXPECT_TRUE(machine_log_shows({"QelSerialCreatePorts => Board(1): Client Serial Port(0) Created",
                                 "QelSerialCreatePorts => Board(1): Client Serial Port(1) Created"}));
  const int fd = OpenPort(1, 1);
  ASSERT_GE(fd, 0);
  const std::vector<std::uint8_t> sent = Text("late but there\r");
  ASSERT_TRUE(WriteTerminal(fd, sent));
  EXPECT_EQ(ReadTerminal(fd, sent.size(), 30s), sent);
}

TEST_F(SerialHost, FullSoftwareFifoDropsTheNewestBytesAndRaisesOverflow) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(BuildRegisterMap(1), QELHW_OK);
  const int fd = OpenPort(1, 0);
  ASSERT_GE(fd, 0);
  WaitForUart(1, 0, [](const ControlUartView& v) { return (v.control & 0x2000) != 0; });
  // Nobody reads the terminal: its buffer, then the shared ring, then the software FIFO fill up.
  const std::vector<std::uint8_t> sent = Pattern(200000);
  ASSERT_EQ(plat::testing::board_control_uart_camera_send(1, 0, sent), plat::board::kControlOk);
  EXPECT_TRUE(machine_log_shows({"Yat_SerialInterruptRequest => UART Software Fifo Overflow: Board(1), Port(0)"}));
  EXPECT_TRUE(machine_log_shows({"Yat_SerialRxDataReady => UART Fifo Overflow: Board(1), Port(0): (0x2)"}));
  const std::vector<std::uint8_t> got = ReadTerminalUntilQuiet(fd, 2s);
  ASSERT_LT(got.size(), sent.size());
  // What the software FIFO held arrived whole: the bytes dropped were those
  // that found it full.
  constexpr std::size_t kKept = 4095;
  ASSERT_GE(got.size(), kKept);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + kKept, sent.begin()));
}

TEST_F(SerialHost, MissingSecondUartCannotConnectAndAnOpenPortBlocksTheReload) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(BuildRegisterMap(1), QELHW_OK);
  ASSERT_EQ(plat::testing::board_control_set_inputs(1, 0x1400, 0), plat::board::kControlOk);
  ASSERT_GE(OpenPort(1, 1), 0);
  EXPECT_TRUE(machine_log_shows({"QelSerialConnect => CustomInit failed: Board(1), Port(1): (0xfffffffb)"}));

  const int fd = OpenPort(1, 0);
  ASSERT_GE(fd, 0);
  WaitForUart(1, 0, [](const ControlUartView& v) { return (v.control & 0x2000) != 0; });
  EXPECT_EQ(Reload(1), QELHW_ERROR_RESOURCE_IN_USE);
  EXPECT_TRUE(machine_log_shows({"IOCTRL_RELOAD, serialPortConnected(0x1)"}));
}

}  // namespace
