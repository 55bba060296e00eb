// Shared pieces of the acquisition tests: a process that drives the library's
// acquisition exports, and waits on a camera's grab controller as the board
// model reports it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"

namespace pardow_test {

class AcqMachine : public PardowMachine {
 protected:
  // A process that has opened the library.
  ChildProcess& acq_client() {
    acq_clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-acq", std::vector<std::string>{}));
    ChildProcess& c = *acq_clients_.back();
    EXPECT_EQ(c.read_line(60s), "ready");
    EXPECT_EQ(ask(c, "open"), "0");
    return c;
  }

  void TearDown() override {
    acq_clients_.clear();
    PardowMachine::TearDown();
  }

  static plat::board::ControlGrabState grab_state(std::uint32_t camera) {
    plat::board::ControlGrabState state{};
    EXPECT_EQ(plat::testing::board_control_grab_state(0, camera, &state), plat::board::kControlOk);
    return state;
  }

  // Polls the camera's grab controller until `done` holds; false after a minute.
  static bool wait_grab(std::uint32_t camera, const std::function<bool(const plat::board::ControlGrabState&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (done(grab_state(camera))) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }

  static std::uint32_t board_register(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(0, offset, &value), plat::board::kControlOk);
    return value;
  }

  static void set_camera(std::uint32_t camera, std::uint32_t width, std::uint32_t height, std::uint32_t periodUs) {
    const plat::board::ControlCameraModel model{width, height, 1, 8, periodUs};
    ASSERT_EQ(plat::testing::board_control_set_camera_model(0, camera, model), plat::board::kControlOk);
  }

  std::vector<std::unique_ptr<ChildProcess>> acq_clients_;
};

}  // namespace pardow_test
