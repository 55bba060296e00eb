#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/board/board_state.h"
#include "platform/board/dma_engines.h"
#include "platform/board/grab_board.h"
#include "platform/board/grab_controller.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kStride = kGrabCameraStride;
constexpr std::uint32_t kFrameStartBit = 1u << 15;  // camera 1: << 1
constexpr std::uint32_t kFrameEndBit = 1u << 25;    // camera 1: << 1
constexpr std::uint32_t kSlowPeriodUs = 4'000'000;  // a frame stays in progress for two seconds
// A camera whose one line takes half a minute: an abort lands before it.
constexpr std::uint32_t kOneLine = 1, kLineLessPeriodUs = kCameraMaxPeriodUs;

class GrabControllerTest : public ::testing::Test {
 protected:
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }
  void write_camera(std::uint32_t camera, std::uint32_t offset, std::uint32_t value) {
    write(offset + camera * kStride, value);
  }
  std::uint32_t read_camera(std::uint32_t camera, std::uint32_t offset) { return read(offset + camera * kStride); }
  GrabView view(std::uint32_t camera = 0) {
    GrabView v{};
    EXPECT_TRUE(board_grab_view(board.get(), camera, &v));
    return v;
  }
  // Generous: the frames come on the board's own thread, however loaded the machine is.
  bool wait_for(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  void set_period(std::uint32_t camera, std::uint32_t period_us, std::uint32_t height = 0) {
    CameraModel model;
    ASSERT_TRUE(board_grab_camera(board.get(), camera, &model));
    model.frame_period_us = period_us;
    if (height != 0) model.height = height;
    ASSERT_TRUE(board_grab_set_camera(board.get(), camera, model));
  }
  // As the library starts a camera: the stop command first, then the start.
  void start(std::uint32_t camera, std::uint32_t command) {
    write_camera(camera, kRegGrabControl, kGrabFreeze);
    write_camera(camera, kRegGrabControl, command);
  }
  std::uint32_t main_status() { return read(kRegMainStatus); }

  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Dual");
};

TEST_F(GrabControllerTest, CountedAcquisitionMakesGroupsTimesFramesPerGroup) {
  struct Case {
    std::uint32_t camera, groups, frames_per_group, enables, expected_frames;
  };
  const Case cases[] = {
      {0, 2, 3, kEnableFrameStart | kEnableFrameEnd, 6},
      {1, 1, 5, kEnableFrameEnd, 5},
      {0, 0, 1, 0, 1},  // a group count of 0 counts as 1
      {1, 3, 0, 0, 0},  // groups of no frame: nothing starts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "camera " << c.camera << ", " << c.groups << " x " << c.frames_per_group);
    write(kRegMainStatus, 0xFFFFFFFF);
    write_camera(c.camera, kRegGrabChannelEnables, c.enables);
    write_camera(c.camera, kRegGrabReset, 1);  // the driver's pulse: frames are numbered from 0 again
    write_camera(c.camera, kRegGrabReset, 0);
    write_camera(c.camera, kRegGrabGroupCount, c.groups);
    write_camera(c.camera, kRegGrabGroupFrames, c.frames_per_group);
    const GrabView before = view(c.camera);
    start(c.camera, kGrabCounted);
    EXPECT_EQ(read_camera(c.camera, kRegGrabControl), kGrabCounted);
    ASSERT_TRUE(wait_for([&] { return !view(c.camera).running; }));
    const GrabView after = view(c.camera);
    EXPECT_EQ(after.frames_started - before.frames_started, c.expected_frames);
    EXPECT_EQ(after.frames_completed - before.frames_completed, c.expected_frames);
    EXPECT_EQ(after.frames_dropped, before.frames_dropped);
    EXPECT_EQ(after.next_frame, c.expected_frames);
    EXPECT_EQ(read_camera(c.camera, kRegGrabStatus) & kGrabStatusArmed, 0u);
    const std::uint32_t status = main_status();
    EXPECT_EQ((status & (kFrameStartBit << c.camera)) != 0, (c.enables & kEnableFrameStart) != 0);
    EXPECT_EQ((status & (kFrameEndBit << c.camera)) != 0, (c.enables & kEnableFrameEnd) != 0);
  }
}

TEST_F(GrabControllerTest, FreezeLetsTheFrameInProgressEndAndStartsNothingNew) {
  start(0, kGrabContinuous);
  ASSERT_TRUE(wait_for([&] { return view().frames_completed >= 3; }));
  write(kRegGrabControl, kGrabFreeze);
  ASSERT_TRUE(wait_for([&] { return !view().running; }));
  const GrabView stopped = view();
  EXPECT_EQ(stopped.frames_completed, stopped.frames_started);
  EXPECT_EQ(stopped.frames_dropped, 0u);
  EXPECT_EQ(stopped.last_command, kGrabFreeze);
  std::this_thread::sleep_for(50ms);  // five frame periods
  EXPECT_EQ(view().frames_started, stopped.frames_started);

  // A slow camera's frame in progress runs to its end after the freeze.
  set_period(0, kSlowPeriodUs);
  start(0, kGrabContinuous);
  write(kRegGrabControl, kGrabFreeze);
  EXPECT_TRUE(view().running);
  ASSERT_TRUE(wait_for([&] { return !view().running; }));
  EXPECT_EQ(view().frames_completed, stopped.frames_completed + 1);
  EXPECT_EQ(view().frames_dropped, 0u);
}

TEST_F(GrabControllerTest, GrabStatusTellsArmedEndingAndGoneIdle) {
  const std::uint32_t kBoth = kGrabStatusArmed | kGrabStatusEnded;
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, 0u);  // never grabbed
  EXPECT_EQ(read(kRegGrabLastStamp), 0u);
  set_period(0, kSlowPeriodUs);
  start(0, kGrabContinuous);
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, kGrabStatusArmed);
  write(kRegGrabControl, kGrabFreeze);  // the frame in progress runs on to its end
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, kBoth);
  ASSERT_TRUE(wait_for([&] { return !view().running; }));
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, kGrabStatusEnded);
  const std::uint32_t first_stamp = read(kRegGrabLastStamp);
  EXPECT_NE(first_stamp, 0u);

  set_period(0, kLineLessPeriodUs, kOneLine);
  start(0, kGrabContinuous);
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, kGrabStatusArmed);
  write(kRegGrabControl, kGrabAbort);
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, kGrabStatusEnded);
  EXPECT_EQ(read(kRegGrabLastStamp), first_stamp);  // the aborted frame had no line: it never ended

  set_period(0, 10'000);
  write(kRegGrabGroupCount, 1);
  write(kRegGrabGroupFrames, 2);
  start(0, kGrabCounted);
  ASSERT_TRUE(wait_for([&] { return !view().running; }));
  EXPECT_EQ(read(kRegGrabStatus) & kBoth, kGrabStatusEnded);
  EXPECT_GT(read(kRegGrabLastStamp), first_stamp);
  EXPECT_EQ(read_camera(1, kRegGrabStatus) & kBoth, 0u);  // the other camera never grabbed
}

TEST_F(GrabControllerTest, AbortStopsAtOnceAndDropsTheFrameInProgress) {
  set_period(0, kLineLessPeriodUs, kOneLine);  // nothing of the frame came yet
  write(kRegGrabChannelEnables, kEnableFrameStart | kEnableFrameEnd);
  start(0, kGrabContinuous);
  EXPECT_EQ(view().frames_started, 1u);  // the first frame starts with the command
  write(kRegGrabControl, (kGrabContinuous << 24) | kGrabAbort);  // as the driver aborts on a lost clock
  const GrabView aborted = view();
  EXPECT_FALSE(aborted.running);
  EXPECT_EQ(aborted.frames_dropped, 1u);
  EXPECT_EQ(aborted.last_command, kGrabAbort);
  EXPECT_EQ(read(kRegGrabStatus) & kGrabStatusArmed, 0u);
  EXPECT_EQ(read(kRegGrabControl), (kGrabContinuous << 24) | kGrabAbort);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(view().frames_completed, 0u);
  EXPECT_EQ(main_status() & kFrameEndBit, 0u);
}

TEST_F(GrabControllerTest, MultiCameraCommandStartsTheMaskedCamerasAtOneInstant) {
  set_period(0, kSlowPeriodUs);
  set_period(1, kSlowPeriodUs / 2);  // the cameras need not share a period
  for (std::uint32_t camera : {0u, 1u}) write_camera(camera, kRegGrabChannelEnables, kEnableFrameStart);
  // The library merges under mask 0x0F0F: read, change, write.
  const auto set_bits = [&](std::uint32_t value) { write(kRegMultiCamera, (read(kRegMultiCamera) & ~0x0F0Fu) | value); };
  set_bits(0x300 | kGrabFreeze);
  set_bits(0x300 | kGrabContinuous);
  EXPECT_EQ(read(kRegMultiCamera), 0x300u | kGrabContinuous);
  const GrabView first = view(0), second = view(1);
  EXPECT_TRUE(first.running && second.running);
  EXPECT_EQ(first.start_tick_us, second.start_tick_us);
  EXPECT_EQ(first.frames_started, 1u);
  EXPECT_EQ(second.frames_started, 1u);
  EXPECT_EQ(main_status() & (kFrameStartBit | kFrameStartBit << 1), kFrameStartBit | kFrameStartBit << 1);

  set_bits(0x200 | kGrabAbort);  // camera 1 alone
  EXPECT_TRUE(view(0).running);
  EXPECT_FALSE(view(1).running);
  set_bits(0x100 | kGrabAbort);
  EXPECT_FALSE(view(0).running);
}

TEST_F(GrabControllerTest, EachTriggerReleasesOneGroup) {
  write(kRegGrabGroupCount, 2);
  write(kRegGrabGroupFrames, 3);
  write(kRegGrabTrigger, kTriggerFrameOn);
  start(0, kGrabCounted);
  EXPECT_EQ(read(kRegGrabStatus) & (kGrabStatusArmed | kGrabStatusEnded), kGrabStatusArmed);
  EXPECT_EQ(view().frames_started, 0u);

  // The library's software trigger: a pulse of bit 8.
  write(kRegGrabTrigger, kTriggerFrameOn | kTriggerSoftware);
  write(kRegGrabTrigger, kTriggerFrameOn);
  ASSERT_TRUE(wait_for([&] { return view().frames_completed == 3 && view().waiting_trigger; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(view().frames_started, 3u);
  EXPECT_EQ(read(kRegGrabStatus) & (kGrabStatusArmed | kGrabStatusEnded), kGrabStatusArmed);  // waits, armed

  ASSERT_TRUE(board_grab_trigger(board.get(), 0));  // the external input
  ASSERT_TRUE(wait_for([&] { return !view().running; }));
  EXPECT_EQ(view().frames_completed, 6u);
  EXPECT_EQ(view().triggers, 2u);
  EXPECT_EQ(read(kRegGrabStatus), kGrabStatusEnded);
}

TEST_F(GrabControllerTest, LostPixelClockCutsTheFrameAndRaisesTheCameraStatus) {
  set_period(1, kSlowPeriodUs);
  EXPECT_EQ(read(0x418) & 0x11, 0x11u);  // both cameras present at power-on
  start(1, kGrabContinuous);
  ASSERT_TRUE(board_grab_set_pixel_clock(board.get(), 1, false));
  EXPECT_EQ(read(0x418) & 0x11, 0x01u);
  EXPECT_EQ(main_status() & 0x18, 0x10u);  // main bit 4: camera 1
  EXPECT_EQ(view(1).frames_dropped, 1u);
  EXPECT_TRUE(view(1).running);  // the driver decides what becomes of the acquisition

  set_period(1, 10000);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(view(1).frames_started, 1u);  // nothing starts without a clock
  write(kRegMainStatus, 0x10);
  ASSERT_TRUE(board_grab_set_pixel_clock(board.get(), 1, true));
  EXPECT_EQ(main_status() & 0x18, 0x10u);
  EXPECT_EQ(read(0x418) & 0x11, 0x11u);
  ASSERT_TRUE(wait_for([&] { return view(1).frames_completed >= 2; }));
}

TEST_F(GrabControllerTest, ChannelResetHoldsFramesBackAndNumbersThemAfresh) {
  start(0, kGrabContinuous);
  ASSERT_TRUE(wait_for([&] { return view().frames_completed >= 2; }));
  write(kRegGrabReset, 1);
  EXPECT_EQ(read(kRegGrabReset), 1u);
  const GrabView held = view();
  EXPECT_TRUE(held.reset_held);
  EXPECT_EQ(held.reset_holds, 1u);
  EXPECT_EQ(held.next_frame, 0u);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(view().frames_started, held.frames_started);
  EXPECT_NE(read(kRegGrabStatus) & kGrabStatusArmed, 0u);

  write(kRegGrabReset, 0);
  ASSERT_TRUE(wait_for([&] { return view().next_frame >= 2; }));
  EXPECT_GT(view().frames_started, held.frames_started);
}

TEST_F(GrabControllerTest, SettingsReadBackAndTheBoardStopsWhileGrabbing) {
  for (std::uint32_t offset : {0x1004u, 0x1024u, 0x1034u, 0x1060u, 0x1184u, 0x1190u}) {
    write_camera(1, offset, offset * 3 + 1);
    EXPECT_EQ(read_camera(1, offset), offset * 3 + 1) << std::hex << offset;
  }
  start(0, kGrabContinuous);
  start(1, kGrabContinuous);
  ASSERT_TRUE(wait_for([&] { return view(0).frames_completed >= 1 && view(1).frames_completed >= 1; }));
  board.reset();  // the worker stops with the board, mid-acquisition
}

// The frames go the way injected frames go: along the AL chain of the
// camera's acquisition channel into on-board memory, numbered from 0 after
// the channel reset.
TEST_F(GrabControllerTest, FramesReachTheAcquisitionPathWithTheirNumbers) {
  constexpr std::uint32_t kCamera = 1, kWidth = 16, kHeight = 4, kBytes = kWidth * kHeight * 2;
  constexpr std::uint32_t kEntry = 0x1000, kDescriptor = 0x1100, kBuffer = 0x2000;
  ASSERT_TRUE(board_grab_set_camera(board.get(), kCamera, CameraModel{kWidth, kHeight, 2, 10, 1000}));
  const std::uint32_t entry[8] = {kBuffer, kDescriptor, kCamera << 17, 0, 0, 0, 0, kEntry};
  const std::uint32_t descriptor[4] = {0, 0, kBytes | (1u << 21), kDescriptor};
  {
    std::lock_guard guard(board->lock);
    onboard_memory_copy_in(board->onboard, kEntry, reinterpret_cast<const std::uint8_t*>(entry), sizeof entry);
    onboard_memory_copy_in(board->onboard, kDescriptor, reinterpret_cast<const std::uint8_t*>(descriptor),
                           sizeof descriptor);
  }
  write(kAlBlocks + kDmaStartWord * 4, kEntry);
  write(kRegDmaChannelControl, 0x00010001);  // AL channel 0 runs

  write_camera(kCamera, kRegGrabReset, 1);
  write_camera(kCamera, kRegGrabReset, 0);
  write_camera(kCamera, kRegGrabGroupCount, 1);
  write_camera(kCamera, kRegGrabGroupFrames, 2);
  start(kCamera, kGrabCounted);
  ASSERT_TRUE(wait_for([&] { return !view(kCamera).running; }));
  std::array<std::uint8_t, kBytes> image{};
  {
    std::lock_guard guard(board->lock);
    onboard_memory_copy_out(board->onboard, kBuffer, image.data(), kBytes);
  }
  for (std::uint32_t y = 0; y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth * 2; ++x)
      ASSERT_EQ(image[y * kWidth * 2 + x], camera_pattern(0, kCamera, 1, x, y)) << x << "," << y;
}

TEST(GrabControllerFullBoard, CameraOneHasNoGrabController) {
  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full");
  EXPECT_NE(bar_read32(board.get(), 0, kRegGrabCapability), 0u);
  EXPECT_NE(bar_read32(board.get(), 0, kRegGrabCapability), 0xFFFFFFFFu);
  EXPECT_EQ(bar_read32(board.get(), 0, kRegGrabCapability + kStride), 0u);
  EXPECT_EQ(bar_read32(board.get(), 0, 0x418) & 0x11, 0x01u);
  bar_write32(board.get(), 0, kRegMultiCamera, 0x300 | kGrabContinuous);
  GrabView view{};
  EXPECT_FALSE(board_grab_view(board.get(), 1, &view));
  EXPECT_FALSE(board_grab_set_pixel_clock(board.get(), 1, false));
  ASSERT_TRUE(board_grab_view(board.get(), 0, &view));
  EXPECT_TRUE(view.running);
}

}  // namespace
}  // namespace plat::board
