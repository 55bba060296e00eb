// A device's camera input taken and given back through its registration, and
// acquisition control over both connectors of a "Dual" board in one
// board-library call.
#include <thread>

#include "driver/user/YatSharedData.h"
#include "platform/board/grab_controller.h"
#include "platform/win/sections.h"
#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {
namespace {

using plat::board::ControlGrabState;

// The board library's packer slot of a camera, as every process sees it.
bool PackerActive(std::uint32_t board, std::uint32_t camera) {
  auto* shared = static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  return shared != nullptr && shared->packers[board][camera].active != 0;
}

ControlGrabState Grab(std::uint32_t camera) {
  ControlGrabState state{};
  EXPECT_EQ(plat::testing::board_control_grab_state(0, camera, &state), plat::board::kControlOk);
  return state;
}

template <typename Predicate>
bool Within(std::chrono::milliseconds limit, Predicate done) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

void SetPeriod(std::uint32_t periodUs, std::uint32_t lines = 480) {
  for (std::uint32_t camera : {0u, 1u}) {
    plat::board::ControlCameraModel model{640, lines, 1, 8, periodUs};
    ASSERT_EQ(plat::testing::board_control_set_camera_model(0, camera, model), plat::board::kControlOk);
  }
}

TEST_F(AcqDevices, RegisteringASlotSelectsItsInputAndASecondSlotOnTheConnectorIsRefused) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& helper = StartedHelper();
  EXPECT_FALSE(PackerActive(0, 1));
  EXPECT_EQ(Ask(helper, "open 0 1"), "open 0x0 0");  // Base Mono #2, connector 2
  EXPECT_TRUE(PackerActive(0, 1)) << "the board library's packer takes the camera";
  EXPECT_FALSE(PackerActive(0, 0));
  EXPECT_EQ(Ask(helper, "open 0 0"), "open 0x0 0");  // Base Mono #1, connector 1: both may be registered
  EXPECT_TRUE(PackerActive(0, 0));
  EXPECT_EQ(Ask(helper, "open 0 3"), "open 0x4b 1") << "Base Color RGB #2 needs connector 2, held by slot 1";
  EXPECT_EQ(Ask(helper, "open 0 2"), "open 0x4b 0");
  EXPECT_EQ(Ask(helper, "devices 0"), "devices 4 2:1:1 3:2:1 4:1:0 5:2:0");

  // Another process sees the registration too.
  ChildProcess& other = StartedHelper();
  EXPECT_EQ(Ask(other, "open 0 3"), "open 0x4b 1");

  EXPECT_EQ(Ask(helper, "close 0 1"), "close 0x0 0");
  EXPECT_FALSE(PackerActive(0, 1)) << "closing gives the camera up";
  EXPECT_EQ(Ask(other, "open 0 3"), "open 0x0 0");
  EXPECT_TRUE(PackerActive(0, 1));
}

TEST_F(AcqDevices, AcquisitionControlStartsFreezesAndAbortsBothCamerasOfADualBoardAtOnce) {
  StartBoards({Factory("FolvantX4Dual")});
  SetPeriod(50000);  // a loaded host still takes every frame: none is dropped for want of it
  ChildProcess& helper = StartedHelper();
  ASSERT_EQ(Ask(helper, "open 0 0"), "open 0x0 0");
  ASSERT_EQ(Ask(helper, "open 0 1"), "open 0x0 0");
  EXPECT_EQ(Ask(helper, "control 0 0 0 -1"), "control 0x0 30583") << "no connector named: no board call, no out";
  EXPECT_EQ(Grab(0).running, 0u);

  ASSERT_EQ(Ask(helper, "control 0 0 3 -1"), "control 0x0 -1");
  std::uint32_t multi = 0;
  ASSERT_EQ(plat::testing::board_control_peek_register(0, plat::board::kRegMultiCamera, &multi), plat::board::kControlOk);
  EXPECT_EQ(multi & 0xF0F, 0x309u) << "one command for both cameras";
  EXPECT_EQ(Grab(0).running, 1u);
  EXPECT_EQ(Grab(1).running, 1u);
  EXPECT_EQ(Grab(0).start_tick_us, Grab(1).start_tick_us) << "started at one instant";
  ASSERT_TRUE(Within(60s, [] { return Grab(0).frames_completed >= 2 && Grab(1).frames_completed >= 2; }));

  // Freeze: the frame in progress ends, nothing new starts.
  ASSERT_EQ(Ask(helper, "control 0 0 3 0"), "control 0x0 0");
  ASSERT_TRUE(Within(60s, [] { return Grab(0).running == 0 && Grab(1).running == 0; }));
  for (std::uint32_t camera : {0u, 1u}) {
    const ControlGrabState state = Grab(camera);
    EXPECT_EQ(state.frames_dropped, 0u) << camera;
    EXPECT_EQ(state.frames_completed, state.frames_started) << camera;
    EXPECT_EQ(state.last_command, plat::board::kGrabFreeze) << camera;
  }

  // Abort: stops at once, the frame in progress (one line in half a minute,
  // so that a loaded host's abort still meets it before its line) is dropped.
  SetPeriod(plat::board::kCameraMaxPeriodUs, 1);
  ASSERT_EQ(Ask(helper, "control 0 0 3 5"), "control 0x0 4");
  ASSERT_TRUE(Within(60s, [] { return Grab(0).frames_started > Grab(0).frames_completed; }));
  const std::uint32_t dropped = Grab(0).frames_dropped;
  ASSERT_EQ(Ask(helper, "control 0 0 3 -2"), "control 0x0 0");
  for (std::uint32_t camera : {0u, 1u}) {
    const ControlGrabState state = Grab(camera);
    EXPECT_EQ(state.running, 0u) << camera;
    EXPECT_EQ(state.last_command, plat::board::kGrabAbort) << camera;
  }
  EXPECT_EQ(Grab(0).frames_dropped, dropped + 1);
}

}  // namespace
}  // namespace acq_device_test
