// Whole grabs through the real path: the library's acquisition exports in a
// client process, the driver in the kernel host, and the board model's grab
// controllers and cameras sending frames into the client's host buffers.
#include <string>
#include <thread>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_acq_test_support.h"
#include "platform/board/dma_frames.h"

namespace pardow_test {
namespace {

constexpr std::uint32_t kWidth = 64, kHeight = 8;
constexpr std::uint32_t kFastPeriodUs = 2000;
constexpr std::uint32_t kSlowPeriodUs = 100000;
// Slow enough for a loaded host to take every frame's messages and events as
// they come: at a 2 ms period the board rightly drops frames the host is too
// late for, and latched events of one frame meet.
constexpr std::uint32_t kSteadyPeriodUs = 50000;
constexpr std::uint32_t kEventPeriodUs = 400000;
constexpr std::uint32_t kRegMultiCamera = 0x448;

class AcqGrab : public AcqMachine {
 protected:
  // A "Dual" board whose two small cameras have handles, windows and
  // acquisition channels in one client.
  ChildProcess& dual_board_client(std::uint32_t periodUs = kFastPeriodUs) {
    start_host({"FolvantX4Dual"});
    for (std::uint32_t camera = 0; camera < 2; ++camera) set_camera(camera, kWidth, kHeight, periodUs);
    ChildProcess& c = acq_client();
    const std::string size = " " + std::to_string(kWidth) + " " + std::to_string(kHeight);
    for (const char* camera : {"0", "1"}) {
      EXPECT_EQ(ask(c, std::string("handle 0 ") + camera), "0 set");
      EXPECT_EQ(ask(c, std::string("window ") + camera + size), "0");
    }
    return c;
  }

  static std::string Pattern(std::uint32_t camera, std::uint32_t number) {
    std::string hex;
    char two[3];
    for (std::uint32_t y = 0; y < kHeight; ++y)
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        std::snprintf(two, sizeof two, "%02x", plat::board::camera_pattern(0, camera, number, x, y));
        hex += two;
      }
    return hex;
  }

  static bool Stopped(const plat::board::ControlGrabState& s) { return s.running == 0; }
  // Frames that ended, finished or dropped.
  static std::uint32_t Delivered(const plat::board::ControlGrabState& s) {
    return s.frames_completed + s.frames_dropped;
  }
};

// Four buffers take five frames: the first buffer, read back, goes back to
// the driver long before the fifth frame ends (four frame periods later).
TEST_F(AcqGrab, FiveFramesLandInTheHostBuffersAsTheCameraSentThem) {
  ChildProcess& c = dual_board_client(kSlowPeriodUs);
  ASSERT_EQ(ask(c, "connect 0 4 " + std::to_string(kWidth) + " " + std::to_string(kHeight)), "0");
  ASSERT_EQ(ask(c, "nframes 0 5"), "0");
  ASSERT_EQ(ask(c, "message 30000"), "0 0 1");
  EXPECT_EQ(ask(c, "image 0 0"), Pattern(0, 0));
  ASSERT_EQ(ask(c, "rearm 0 0"), "0");
  for (std::uint32_t n = 1; n < 5; ++n) EXPECT_EQ(ask(c, "message 30000"), std::to_string(n % 4) + " 0 1") << n;
  ASSERT_TRUE(wait_grab(0, Stopped));
  const auto state = grab_state(0);
  EXPECT_EQ(state.frames_completed, 5u);
  EXPECT_EQ(state.frames_dropped, 0u);
  EXPECT_EQ(ask(c, "message 200"), "timeout");
  EXPECT_EQ(ask(c, "image 0 0"), Pattern(0, 4));
  for (std::uint32_t b = 1; b < 4; ++b) EXPECT_EQ(ask(c, "image 0 " + std::to_string(b)), Pattern(0, b)) << b;
  EXPECT_EQ(grab_state(1).frames_started, 0u);
  finish(c);
}

// The camera's frame events reach the process that routed them, in order and
// time-stamped: a start (0x4000000) and an end (0x1000000) per frame. The
// board latches an event until the driver takes it, so the frames are slow
// enough for every event to be taken on its own (a start 200 ms before its end).
TEST_F(AcqGrab, FrameStartAndEndEventsArriveTimeStamped) {
  ChildProcess& c = dual_board_client(kEventPeriodUs);
  ASSERT_EQ(ask(c, "route 1 0x5000000"), "0");
  ASSERT_EQ(ask(c, "connect 1 4 " + std::to_string(kWidth) + " " + std::to_string(kHeight)), "0");
  ASSERT_EQ(ask(c, "nframes 1 3"), "0");
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_EQ(ask(c, "chanmsg 30000"), "0x4000000 1") << frame;
    EXPECT_EQ(ask(c, "chanmsg 30000"), "0x1000000 1") << frame;
  }
  ASSERT_TRUE(wait_grab(1, Stopped));
  EXPECT_EQ(ask(c, "chanmsg 200"), "timeout");
  finish(c);
}

TEST_F(AcqGrab, FreezeEndsAContinuousGrabAtAFrameBoundary) {
  ChildProcess& c = dual_board_client(kSteadyPeriodUs);
  ASSERT_EQ(ask(c, "start 0"), "0");
  ASSERT_TRUE(wait_grab(0, [](const auto& s) { return s.frames_completed >= 3; }));
  ASSERT_EQ(ask(c, "freeze 0"), "0");
  ASSERT_TRUE(wait_grab(0, [](const auto& s) { return Stopped(s) && s.frames_started == Delivered(s); }));
  const auto frozen = grab_state(0);
  EXPECT_EQ(frozen.frames_dropped, 0u);
  // Several frame periods later nothing new has started.
  std::this_thread::sleep_for(std::chrono::microseconds(5 * kSteadyPeriodUs));
  EXPECT_EQ(grab_state(0).frames_started, frozen.frames_started);
  EXPECT_EQ(ask(c, "abort 0"), "0");
  finish(c);
}

// A frame takes two seconds to read out, so the abort meets one in progress;
// the channel the driver gave the grabbing process is free for another one
// afterwards.
TEST_F(AcqGrab, AbortStopsAtOnceAndReleasesTheDriversChannel) {
  ChildProcess& owner = dual_board_client(4000000);
  ChildProcess& other = acq_client();
  ASSERT_EQ(ask(other, "handle 0 0"), "0 set");
  ASSERT_EQ(ask(owner, "start 0"), "0");
  ASSERT_TRUE(wait_grab(0, [](const auto& s) { return s.frames_started >= 1; }));
  EXPECT_NE(ask(other, "start 0"), "0");
  ASSERT_EQ(ask(owner, "abort 0"), "0");
  const auto aborted = grab_state(0);
  EXPECT_EQ(aborted.running, 0u);
  EXPECT_EQ(aborted.last_command, 4u);
  // The frame in progress is dropped, not finished.
  ASSERT_TRUE(wait_grab(0, [](const auto& s) { return s.frames_started == Delivered(s); }));
  EXPECT_EQ(grab_state(0).frames_dropped, 1u);
  EXPECT_EQ(ask(other, "start 0"), "0");
  EXPECT_EQ(ask(other, "abort 0"), "0");
  finish(other);
  finish(owner);
}

TEST_F(AcqGrab, BothCamerasOfABoardStartAtTheSameInstant) {
  ChildProcess& c = dual_board_client();
  ASSERT_EQ(ask(c, "startex 2 0 1"), "0");
  EXPECT_EQ(board_register(kRegMultiCamera) & 0x0F0F, 0x309u);
  const auto first = grab_state(0), second = grab_state(1);
  EXPECT_EQ(first.running, 1u);
  EXPECT_EQ(second.running, 1u);
  EXPECT_EQ(first.start_tick_us, second.start_tick_us);
  ASSERT_TRUE(wait_grab(1, [](const auto& s) { return s.frames_completed >= 2; }));
  ASSERT_EQ(ask(c, "abortex 2 0 1"), "0");
  EXPECT_EQ(board_register(kRegMultiCamera) & 0x0F0F, 0x304u);
  EXPECT_EQ(grab_state(0).running, 0u);
  EXPECT_EQ(grab_state(1).running, 0u);
  finish(c);
}

// A counted start of both cameras: each camera's frames reach its own host
// buffers, and both grabs began on one tick.
TEST_F(AcqGrab, ACountedStartOfBothCamerasFillsEachCamerasBuffers) {
  ChildProcess& c = dual_board_client();
  const std::string size = " " + std::to_string(kWidth) + " " + std::to_string(kHeight);
  ASSERT_EQ(ask(c, "connect 0 4" + size), "0");
  ASSERT_EQ(ask(c, "connect 1 4" + size), "0");
  ASSERT_EQ(ask(c, "nframesex 2 3 0 1"), "0");
  EXPECT_EQ(board_register(kRegMultiCamera) & 0x0F0F, 0x301u);
  for (std::uint32_t camera = 0; camera < 2; ++camera) {
    SCOPED_TRACE(camera);
    ASSERT_TRUE(wait_grab(camera, [](const auto& s) { return Stopped(s) && Delivered(s) == 3; }));
    EXPECT_EQ(grab_state(camera).frames_completed, 3u);
  }
  EXPECT_EQ(grab_state(0).start_tick_us, grab_state(1).start_tick_us);
  for (std::uint32_t n = 0; n < 6; ++n) EXPECT_NE(ask(c, "message 30000"), "timeout") << n;
  for (std::uint32_t camera = 0; camera < 2; ++camera)
    for (std::uint32_t b = 0; b < 3; ++b)
      EXPECT_EQ(ask(c, "image " + std::to_string(camera) + " " + std::to_string(b)), Pattern(camera, b))
          << camera << " " << b;
  finish(c);
}

TEST_F(AcqGrab, EachSoftwareTriggerReleasesOneFrame) {
  ChildProcess& c = dual_board_client();
  ASSERT_EQ(ask(c, "ftrigger 0 1"), "0");
  ASSERT_EQ(ask(c, "nframes 0 3"), "0");
  ASSERT_TRUE(wait_grab(0, [](const auto& s) { return s.waiting_trigger == 1; }));
  EXPECT_EQ(grab_state(0).frames_started, 0u);
  for (std::uint32_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(ask(c, "swtrigger 0"), "0");
    ASSERT_TRUE(wait_grab(0, [n](const auto& s) { return s.frames_completed == n; }));
  }
  ASSERT_TRUE(wait_grab(0, Stopped));
  EXPECT_EQ(grab_state(0).frames_started, 3u);
  finish(c);
}

TEST_F(AcqGrab, AFrameCountThatIsNotAMultipleOfTheTriggerGroupIsRefused) {
  ChildProcess& c = dual_board_client();
  ASSERT_EQ(ask(c, "ftrigger 0 2"), "0");
  EXPECT_EQ(ask(c, "nframes 0 3"), std::to_string(QELHW_ERROR_GC_FRAME_COUNT_MULT_EXT_TRIGGER_FRAME_COUNT));
  EXPECT_TRUE(log_shows({"Pardow.DLL: yat AcquireNFrames:  GC_Acquire n frames failed status=-10500"}));
  EXPECT_EQ(grab_state(0).running, 0u);
  EXPECT_EQ(ask(c, "abort 0"), "0");
  finish(c);
}

}  // namespace
}  // namespace pardow_test
