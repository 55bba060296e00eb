// The apply tests' machine: preset boards, a helper process that applies
// device parameters (quillet-helper-acqapply), and what a test reads of the
// simulated board through the control interface: registers as last written,
// their write counts, the grab controllers and the camera pattern.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/board/control_protocol.h"
#include "platform/board/dma_frames.h"
#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {

class AcqApply : public AcqDevices {
 protected:
  ChildProcess& ApplyHelper() {
    ChildProcess& helper = Helper("quillet-helper-acqapply");
    const std::string started = Ask(helper, "start");
    EXPECT_EQ(started.rfind("started", 0), 0u) << started;
    return helper;
  }

  // Registers the device's slot (its input taken) and applies its parameters.
  static ChildProcess& Opened(ChildProcess& helper, const std::string& device) {
    EXPECT_EQ(Ask(helper, "open " + device), "0x0") << device;
    EXPECT_EQ(Ask(helper, "applyall " + device), "0x0") << device;
    return helper;
  }

  static std::uint32_t Peek(std::uint32_t offset, int board = 0) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_peek_register(board, offset, &value), plat::board::kControlOk) << offset;
    return value;
  }
  // A register as the board answers a read (blocks that model their registers).
  static std::uint32_t Read(std::uint32_t offset, int board = 0) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(board, offset, &value), plat::board::kControlOk) << offset;
    return value;
  }
  static std::uint32_t Writes(std::uint32_t offset, int board = 0) {
    std::uint32_t count = 0;
    EXPECT_EQ(plat::testing::board_control_register_writes(board, offset, &count), plat::board::kControlOk) << offset;
    return count;
  }
  static plat::board::ControlGrabState GrabState(std::uint32_t camera) {
    plat::board::ControlGrabState state{};
    EXPECT_EQ(plat::testing::board_control_grab_state(0, camera, &state), plat::board::kControlOk);
    return state;
  }
  // Polls camera's grab controller until `done` holds; false after a minute.
  static bool WaitGrab(std::uint32_t camera, const std::function<bool(const plat::board::ControlGrabState&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (done(GrabState(camera))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  static void SetCamera(std::uint32_t camera, std::uint32_t width, std::uint32_t height, std::uint32_t periodUs,
                        std::uint32_t bits = 8) {
    const plat::board::ControlCameraModel model{width, height, 1, bits, periodUs};
    ASSERT_EQ(plat::testing::board_control_set_camera_model(0, camera, model), plat::board::kControlOk);
  }
  // The camera's frame `number` of board 0 cut to a window, each byte through `map`, as hex.
  static std::string Pattern(std::uint32_t camera, std::uint32_t number, std::uint32_t x0, std::uint32_t y0,
                             std::uint32_t width, std::uint32_t height,
                             const std::function<std::uint8_t(std::uint8_t)>& map = {}) {
    std::string hex;
    char two[3];
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t byte = plat::board::camera_pattern(0, camera, number, x0 + x, y0 + y);
        std::snprintf(two, sizeof two, "%02x", map ? map(byte) : byte);
        hex += two;
      }
    return hex;
  }
};

}  // namespace acq_device_test
