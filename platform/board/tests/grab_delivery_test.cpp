// What becomes of the frames a camera sends while the board's acquisition
// path runs all the way to host buffers: a frame that finds an armed buffer
// lands in it and is reported by a host message; a frame that finds none is
// dropped, counted by the grab controller and written to the machine log,
// never lost silently. The host buffers and their lists live in the host's
// simulated physical memory, as the driver puts them.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include "platform/board/board_state.h"
#include "platform/board/config_space.h"
#include "platform/board/dma_control_block.h"
#include "platform/board/dma_engines.h"
#include "platform/board/grab_board.h"
#include "platform/board/grab_controller.h"
#include "platform/board/host_messages.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/kernel/physical_memory.h"
#include "platform/support/machine_log.h"

namespace plat::board {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kCamera = 0, kWidth = 32, kHeight = 4;
// On-board: the AL entry and descriptor, the LB entry and descriptor, the frame.
constexpr std::uint32_t kAlEntry = 0x1000, kAlDescriptor = 0x1100;
constexpr std::uint32_t kLbEntry = 0x1200, kLbDescriptor = 0x1300;
constexpr std::uint32_t kFrame = 0x2000;
constexpr std::uint32_t kArmed = 0x80000000;
constexpr std::uint32_t kCycleMode1 = 1u << 25;
constexpr std::uint32_t kEndMessage = 1u << 27;
constexpr std::uint32_t kLineEnd = 1u << 27;
constexpr std::uint32_t kClosesRegion = (1u << 25) | kLineEnd;
constexpr std::uint32_t kAlLastLine = 1u << 21;
constexpr std::uint32_t kEndOfFrameMessage = 1u << 13;

class GrabDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plat::kernel::physmem_start(1 << 20));
    ASSERT_TRUE(plat::kernel::physmem_allocate(2 * plat::kernel::kPageSize, 0xFFFFFFFF, &host_));
    board_ = make_board("FolvantX4Dual");
    config_write(board_.get(), kCfgCommand, 2, kCommandMemorySpace | kCommandBusMaster);
  }
  void TearDown() override {
    board_.reset();
    plat::kernel::physmem_stop();
  }

  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board_.get(), 0, offset, value); }
  void onboard(std::uint32_t address, std::span<const std::uint32_t> words) {
    std::lock_guard guard(board_->lock);
    onboard_memory_copy_in(board_->onboard, address, reinterpret_cast<const std::uint8_t*>(words.data()),
                           words.size_bytes());
  }
  // Host memory, as the board's DMA sees it: a word of the first page.
  std::atomic_ref<std::uint32_t> host_word(std::uint32_t index) {
    return std::atomic_ref<std::uint32_t>(static_cast<std::uint32_t*>(host_.kernel_address)[index]);
  }
  const std::uint8_t* host_image() const {
    return static_cast<const std::uint8_t*>(host_.kernel_address) + plat::kernel::kPageSize;
  }

  // One host buffer (the second page) of `lines` lines behind one BH entry
  // that points back at itself: cycle mode 1, so it takes a frame only while
  // armed. Its descriptors take a line each.
  void connect_path(bool armed, std::uint32_t lines = kHeight) {
    const std::uint32_t bytes = kWidth * lines;
    const std::uint64_t entry = host_.physical, descriptors = host_.physical + 64;
    const std::uint64_t image = host_.physical + plat::kernel::kPageSize;
    const std::array<std::uint32_t, 8> bh_entry{armed ? kArmed : 0u,
                                                static_cast<std::uint32_t>(descriptors),
                                                kCycleMode1 | kEndMessage | kCamera << 17,
                                                static_cast<std::uint32_t>(descriptors >> 32),
                                                0, 0, 0, static_cast<std::uint32_t>(entry)};
    std::memcpy(host_.kernel_address, bh_entry.data(), sizeof bh_entry);
    for (std::uint32_t y = 0; y < lines; ++y) {
      const std::uint64_t line = image + y * kWidth;
      const bool last = y + 1 == lines;
      const std::array<std::uint32_t, 4> bh_descriptor{
          static_cast<std::uint32_t>(line), static_cast<std::uint32_t>(line >> 32),
          kWidth | (last ? kClosesRegion : kLineEnd),
          static_cast<std::uint32_t>(last ? descriptors : descriptors + (y + 1) * 16)};
      std::memcpy(static_cast<std::uint8_t*>(host_.kernel_address) + 64 + y * 16, bh_descriptor.data(),
                  sizeof bh_descriptor);
    }
    onboard(kAlEntry, std::array<std::uint32_t, 8>{kFrame, kAlDescriptor, kCamera << 17, 0, 0, 0, 0, kAlEntry});
    onboard(kAlDescriptor, std::array<std::uint32_t, 4>{0, 0, bytes | kAlLastLine, kAlDescriptor});
    onboard(kLbEntry, std::array<std::uint32_t, 8>{kFrame, kLbDescriptor, kCamera << 17, 0, 0, 0, 0, kLbEntry});
    onboard(kLbDescriptor, std::array<std::uint32_t, 4>{0, 1, bytes, kLbDescriptor});  // to host channel 0
    write(kAlBlocks + kDmaStartWord * 4, kAlEntry);
    write(kLbBlocks + kDmaStartWord * 4, kLbEntry);
    write(kBhBlocks + kDmaStartWord * 4, static_cast<std::uint32_t>(entry));
    write(kRegDmaChannelControl, 0x01010101);  // AL 0 and LB 0 run
    write(kRegDmaEnables, 0x3);
  }

  // A counted grab of `frames` small frames, waited for to its end.
  GrabView grab(std::uint32_t frames) {
    EXPECT_TRUE(board_grab_set_camera(board_.get(), kCamera, CameraModel{kWidth, kHeight, 1, 8, 2000}));
    write(kRegGrabGroupCount, 1);
    write(kRegGrabGroupFrames, frames);
    write(kRegGrabControl, kGrabCounted);
    const auto limit = std::chrono::steady_clock::now() + 20s;
    GrabView view{};
    while (std::chrono::steady_clock::now() < limit) {
      board_grab_view(board_.get(), kCamera, &view);
      if (!view.running && view.frames_started == view.frames_completed + view.frames_dropped) break;
      std::this_thread::sleep_for(1ms);
    }
    return view;
  }
  // The end-of-frame messages waiting in the FIFO.
  std::vector<HostMessage> end_message_list() {
    std::lock_guard guard(board_->lock);
    std::vector<HostMessage> ends;
    for (const HostMessage& message : board_->host_messages.fifo)
      if ((message[1] & kEndOfFrameMessage) != 0) ends.push_back(message);
    return ends;
  }
  std::uint32_t end_messages() { return static_cast<std::uint32_t>(end_message_list().size()); }

  plat::testing::ScopedMachine machine_;
  plat::kernel::ContiguousBlock host_{};
  BoardPtr board_;
};

TEST_F(GrabDeliveryTest, AFrameThatFindsAnArmedBufferLandsInItAndIsReported) {
  connect_path(true);
  const GrabView view = grab(1);
  EXPECT_EQ(view.frames_started, 1u);
  EXPECT_EQ(view.frames_completed, 1u);
  EXPECT_EQ(view.frames_dropped, 0u);
  EXPECT_EQ(end_messages(), 1u);
  EXPECT_EQ(host_word(0).load() & kArmed, 0u);  // the board took the buffer
  for (std::uint32_t y = 0; y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x)
      ASSERT_EQ(host_image()[y * kWidth + x], camera_pattern(0, kCamera, 0, x, y)) << x << ',' << y;
}

// The first frame fills the only buffer; nobody hands it back, so the next
// three find no armed buffer: each is counted as dropped, none is reported as
// delivered, and the buffer keeps the first frame.
TEST_F(GrabDeliveryTest, FramesThatFindNoArmedBufferAreCountedAsDroppedAndLogged) {
  connect_path(true);
  const GrabView view = grab(4);
  EXPECT_EQ(view.frames_started, 4u);
  EXPECT_EQ(view.frames_completed, 1u);
  EXPECT_EQ(view.frames_dropped, 3u);
  EXPECT_EQ(end_messages(), 1u);
  EXPECT_EQ(host_image()[0], camera_pattern(0, kCamera, 0, 0, 0));
  const std::string log = plat::support::read_machine_log();
  EXPECT_NE(log.find("board 0 camera 0: frame 1 dropped (no armed host buffer"), std::string::npos) << log;
  // Only the acquisition's first drop is written; the rest are counted.
  std::size_t lines = 0;
  for (std::size_t at = log.find(" dropped ("); at != std::string::npos; at = log.find(" dropped (", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u);
}

TEST_F(GrabDeliveryTest, ABufferArmedAgainTakesTheNextFrame) {
  connect_path(false);
  GrabView view = grab(1);
  EXPECT_EQ(view.frames_dropped, 1u);
  EXPECT_EQ(end_messages(), 0u);
  host_word(0).fetch_or(kArmed);
  view = grab(1);
  EXPECT_EQ(view.frames_completed, 1u);
  EXPECT_EQ(end_messages(), 1u);
  EXPECT_EQ(host_image()[0], camera_pattern(0, kCamera, 1, 0, 0));
}

// A frame whose messages the FIFO could not take would reach its buffer
// unreported: it is dropped instead, and the buffer stays armed for the next.
TEST_F(GrabDeliveryTest, AFrameThatFindsTheMessageFifoFullIsDroppedAndItsBufferStaysArmed) {
  connect_path(true);
  const std::uint32_t filler[8] = {};
  for (std::uint32_t n = 0; n + 1 < kHostMessageCapacity; ++n) ASSERT_TRUE(board_post_host_message(board_.get(), filler));
  const GrabView view = grab(1);
  EXPECT_EQ(view.frames_dropped, 1u);
  EXPECT_EQ(view.frames_completed, 0u);
  EXPECT_NE(host_word(0).load() & kArmed, 0u);
}

// An abort in the middle of a slow camera's frame ends it short: the lines
// the camera sent so far are in the host buffer, the buffer's other lines
// stay as they were, and the end message tells the lines and the frame's end.
// Stopping the DMA channels right after the abort, as the driver does, lets
// that frame through first, so it is there at once.
TEST_F(GrabDeliveryTest, AnAbortMidFrameEndsTheFrameWithTheLinesSentSoFar) {
  constexpr std::uint32_t kLines = 64, kLineUs = 100'000, kUntouched = 0xA5;
  constexpr std::uint32_t kMultiCameraZero = 1u << 8;
  struct Case {
    const char* how;
    std::uint32_t offset, value;
  };
  const Case cases[] = {{"camera control", kRegGrabControl, kGrabAbort},
                        {"multi-camera control", kRegMultiCamera, kMultiCameraZero | kGrabAbort}};
  connect_path(true, kLines);
  ASSERT_TRUE(board_grab_set_camera(board_.get(), kCamera, CameraModel{kWidth, kLines, 1, 8, 2 * kLines * kLineUs}));
  std::uint32_t number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    std::memset(static_cast<std::uint8_t*>(host_.kernel_address) + plat::kernel::kPageSize, kUntouched,
                kWidth * kLines);
    host_word(0).fetch_or(kArmed);
    write(kRegDmaChannelControl, 0x01010101);
    const std::size_t ends_before = end_messages();
    write(kRegGrabControl, kGrabContinuous);
    std::this_thread::sleep_for(std::chrono::microseconds(3 * kLineUs));  // three lines at least
    write(c.offset, c.value);
    write(kRegDmaChannelControl, 0);

    const std::vector<HostMessage> ends = end_message_list();
    ASSERT_EQ(ends.size(), ends_before + 1);
    const std::uint32_t lines = ends.back()[3];
    EXPECT_GE(lines, 3u);
    EXPECT_LT(lines, kLines);
    EXPECT_EQ(ends.back()[2], kWidth);
    EXPECT_EQ(ends.back()[4], bar_read32(board_.get(), 0, kRegGrabLastStamp));
    for (std::uint32_t y = 0; y < kLines; ++y)
      for (std::uint32_t x = 0; x < kWidth; ++x)
        ASSERT_EQ(host_image()[y * kWidth + x], y < lines ? camera_pattern(0, kCamera, number, x, y) : kUntouched)
            << x << ',' << y << " of " << lines << " lines";
    GrabView view{};
    board_grab_view(board_.get(), kCamera, &view);
    EXPECT_FALSE(view.running);
    EXPECT_EQ(view.frames_completed, number + 1);
    EXPECT_EQ(view.frames_dropped, 0u);
    ++number;
  }
}

}  // namespace
}  // namespace plat::board
