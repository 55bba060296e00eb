// Acquisition channels through the real path: a kernel host with both board
// models (register maps built), the test process and helper clients as the
// driver's callers, and the board's pixel clock and registers seen through
// its control interface.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"

namespace acq_test {

using namespace std::chrono_literals;

inline constexpr std::uint32_t kChannelStride = 0x400;
inline constexpr std::uint32_t kChannelControl = 0x1010;
inline constexpr std::uint32_t kTriggerControl = 0x1020;
inline constexpr std::uint32_t kEventEnables = 0x418;
inline constexpr std::uint32_t kContinuous = 9;
inline constexpr std::uint32_t kStop = 4;
inline constexpr std::uint32_t kFrameTriggerOn = 1u << 12;
// Trace flags: acquisition events, channel work and transfers, decoded events.
inline constexpr std::uint32_t kTraceAll = 0x10 | 0x20 | 0x40 | 0x80;

inline std::string Status(std::int32_t status) { return "status " + std::to_string(status); }

// A helper client (helper_acq_client.cpp): one command line, one answer line.
class AcqClient {
 public:
  AcqClient() : process_("stavro-helper-acq", {}) { ready_ = process_.read_line(60s) == "ready"; }
  bool ready() const { return ready_; }
  std::string Say(const std::string& line) {
    process_.write_line(line);
    return process_.read_line(60s);
  }
  int Exit() {
    process_.write_line("exit");
    return process_.wait(60s);
  }
  void Kill() { process_.kill_hard(); }

 private:
  plat::testing::ChildProcess process_;
  bool ready_ = false;
};

class AcqHostTest : public StavroHostTest {
 protected:
  void SetUp() override {
    StavroHostTest::SetUp();
    if (HasFatalFailure()) return;
    for (std::uint32_t board : {0u, 1u})
      ASSERT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(board), 4).status, QELHW_OK);
    ASSERT_EQ(Ask(YAT_IOCTRL_SET_DEBUG_LEVEL, YatIocValueIn{Board(0), kTraceAll}, 4).status, QELHW_OK);
  }

  void TearDown() override {
    if (HasFailure()) std::cout << plat::support::read_machine_log();
    StavroHostTest::TearDown();
  }

  std::int32_t Claim(std::uint32_t code, std::uint32_t board, std::uint32_t channel) {
    return Ask(code, YatIocValueIn{Board(board), channel}, 4).status;
  }

  // The board library's way to a register: through the driver.
  void WriteRegister(std::uint32_t board, std::uint32_t offset, std::uint32_t value) {
    ASSERT_EQ(Ask(YAT_IOCTRL_WRITE_REG, YatIocRegisterIn{Board(board), offset, value}, 4).status, QELHW_OK);
  }

  // A grab that waits for a frame trigger: the channel runs its command, yet
  // no frame comes that the test did not inject itself.
  void StartGrab(std::uint32_t board, std::uint32_t channel) {
    WriteRegister(board, kTriggerControl + channel * kChannelStride, kFrameTriggerOn);
    WriteRegister(board, kChannelControl + channel * kChannelStride, kContinuous);
  }

  // A register as the board reads it (the grab controller's read back what was written).
  static std::uint32_t BoardWord(std::uint32_t board, std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(static_cast<int>(board), offset, &value),
              plat::board::kControlOk);
    return value;
  }
  static plat::board::ControlGrabState GrabState(std::uint32_t board, std::uint32_t camera) {
    plat::board::ControlGrabState state{};
    EXPECT_EQ(plat::testing::board_control_grab_state(static_cast<int>(board), camera, &state),
              plat::board::kControlOk);
    return state;
  }

  template <typename Condition>
  static bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  static bool WaitForBoardWord(std::uint32_t board, std::uint32_t offset, std::uint32_t value) {
    return WaitUntil([&] { return BoardWord(board, offset) == value; });
  }
  static std::size_t LogCount(const std::string& text) {
    const std::string log = plat::support::read_machine_log();
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++count;
    return count;
  }
  static bool WaitForLog(const std::string& text, std::size_t count = 1, std::chrono::milliseconds timeout = 30s) {
    return WaitUntil([&] { return LogCount(text) >= count; }, timeout);
  }

  // The camera's pixel clock goes or comes back; the board raises the
  // camera's pixel-clock status on each change.
  static void SetPixelClock(std::uint32_t board, std::uint32_t camera, bool present) {
    ASSERT_EQ(plat::testing::board_control_set_pixel_clock(static_cast<int>(board), camera, present),
              plat::board::kControlOk);
  }
};

}  // namespace acq_test
