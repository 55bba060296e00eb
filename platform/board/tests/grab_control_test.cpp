#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/board/control_registers.h"
#include "platform/board/control_server.h"
#include "platform/board/front_end.h"
#include "platform/board/grab_controller.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/testing/board_control.h"

namespace plat::board {
namespace {

using namespace plat::testing;
using namespace std::chrono_literals;

// A "Full" board (0) and a "Dual" board (1) served as the kernel host serves them.
class GrabControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boards = {board_create(BoardConfig{"FolvantX4Full"}, 0), board_create(BoardConfig{"FolvantX4Dual"}, 1)};
    ASSERT_TRUE(board_control_start(boards, BoardControlHooks{}));
  }
  void TearDown() override {
    board_control_stop();
    for (Board* board : boards) board_destroy(board);
  }
  static std::uint32_t reg(int board, std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(board_control_register_read(board, offset, &value), kControlOk);
    return value;
  }
  static void set(int board, std::uint32_t offset, std::uint32_t value) {
    EXPECT_EQ(board_control_register_write(board, offset, value), kControlOk);
  }
  static ControlGrabState state(int board, std::uint32_t camera) {
    ControlGrabState s{};
    EXPECT_EQ(board_control_grab_state(board, camera, &s), kControlOk);
    return s;
  }

  plat::testing::ScopedMachine machine;
  std::array<Board*, 2> boards{};
};

TEST_F(GrabControlTest, CameraModelsAreSetAndReadPerInput) {
  ControlCameraModel model{};
  ASSERT_EQ(board_control_camera_model(1, 1, &model), kControlOk);
  EXPECT_EQ(model.width, 640u);
  EXPECT_EQ(model.height, 480u);
  EXPECT_EQ(model.bits_per_pixel, 8u);

  const ControlCameraModel wanted{320, 240, 2, 12, 5000};
  ASSERT_EQ(board_control_set_camera_model(1, 1, wanted), kControlOk);
  ASSERT_EQ(board_control_camera_model(1, 1, &model), kControlOk);
  EXPECT_EQ(std::memcmp(&model, &wanted, sizeof model), 0);
  ASSERT_EQ(board_control_camera_model(1, 0, &model), kControlOk);
  EXPECT_EQ(model.width, 640u);  // the other input keeps its camera

  struct Refused {
    int board;
    std::uint32_t camera;
    ControlCameraModel model;
  };
  const Refused refused[] = {
      {1, 0, {0, 240, 1, 8, 5000}},      {1, 0, {320, 240, 1, 7, 5000}},  {1, 0, {320, 240, 1, 17, 5000}},
      {1, 0, {320, 240, 0, 8, 5000}},    {1, 0, {320, 240, 1, 8, 0}},     {1, 2, wanted},
      {0, 1, wanted},  // the Full board has no camera 1
  };
  for (const Refused& r : refused)
    EXPECT_EQ(board_control_set_camera_model(r.board, r.camera, r.model), kControlBadRequest)
        << r.board << "/" << r.camera << " " << r.model.width << "x" << r.model.height << " " << r.model.bits_per_pixel;
  ControlGrabState s{};
  EXPECT_EQ(board_control_grab_state(0, 1, &s), kControlBadRequest);
  EXPECT_EQ(board_control_set_pixel_clock(0, 1, false), kControlBadRequest);
  EXPECT_EQ(board_control_external_trigger(0, 1), kControlBadRequest);
  EXPECT_EQ(reg(0, 0x1400), 0u);
  EXPECT_EQ(reg(1, 0x1400), kFrontEndIdentity);
}

TEST_F(GrabControlTest, ExternalTriggerAndPixelClockComeThroughTheControlInterface) {
  set(1, kRegGrabGroupCount, 1);
  set(1, kRegGrabGroupFrames, 2);
  set(1, kRegGrabTrigger, kTriggerFrameOn);
  set(1, kRegGrabReset, 1);
  set(1, kRegGrabReset, 0);
  set(1, kRegGrabControl, kGrabCounted);
  EXPECT_EQ(state(1, 0).waiting_trigger, 1u);
  ASSERT_EQ(board_control_external_trigger(1, 0), kControlOk);
  const auto limit = std::chrono::steady_clock::now() + 20s;
  while (state(1, 0).running != 0 && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(1ms);
  const ControlGrabState done = state(1, 0);
  EXPECT_EQ(done.running, 0u);
  EXPECT_EQ(done.frames_completed, 2u);
  EXPECT_EQ(done.next_frame, 2u);
  EXPECT_EQ(done.triggers, 1u);
  EXPECT_EQ(done.reset_holds, 1u);
  EXPECT_EQ(done.last_command, kGrabCounted);

  ASSERT_EQ(board_control_set_pixel_clock(1, 0, false), kControlOk);
  EXPECT_EQ(reg(1, kRegCameraLinkStatus) & 0x11, 0x10u);
  EXPECT_EQ(reg(1, kRegMainStatus) & 0x18, 0x08u);  // main bit 3: camera 0
  EXPECT_EQ(state(1, 0).pixel_clock, 0u);
  EXPECT_EQ(board_control_set_pixel_clock(1, 0, true), kControlOk);
  EXPECT_EQ(state(1, 0).pixel_clock, 1u);
}

}  // namespace
}  // namespace plat::board
