// A camera frame along hand-made AL chains: however the chains divide the
// frame among the camera's taps, the acquisition buffer holds the camera's
// frame as it stands.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/board/board_state.h"
#include "platform/board/dma_engines.h"
#include "platform/board/dma_frames.h"
#include "platform/board/front_end.h"
#include "platform/board/input_lut.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

constexpr std::uint32_t kWidth = 16, kHeight = 6, kLineBytes = kWidth;
constexpr std::uint32_t kBuffer = 0x100000;  // the acquisition buffer
constexpr std::uint32_t kChains = 0x200000;  // entries and descriptors, 0x1000 per channel
constexpr std::uint32_t kCamera = 0;
constexpr std::uint32_t kAlLastLine = 1u << 21;
constexpr std::uint32_t kCameraShift = 17;

// A run of one line the chain places: offset in the buffer and bytes.
struct Run {
  std::uint32_t offset, count;
};

// A tap's chain: its runs in the order the chain walks them.
using Chain = std::vector<Run>;

class DmaFramesTest : public ::testing::Test {
 protected:
  void onboard_write(std::uint32_t address, const void* bytes, std::uint32_t count) {
    std::lock_guard guard(board->lock);
    onboard_memory_copy_in(board->onboard, address, static_cast<const std::uint8_t*>(bytes), count);
  }

  // The entry and descriptors of AL channel `c`, and the channel started on them.
  void load(std::uint32_t c, const Chain& chain) {
    const std::uint32_t entry = kChains + c * 0x1000;
    const std::uint32_t head = entry + 32;
    for (std::uint32_t i = 0; i < chain.size(); ++i) {
      const bool last = i + 1 == chain.size();
      const std::array<std::uint32_t, 4> d{chain[i].offset, 0, chain[i].count | (last ? kAlLastLine : 0),
                                           last ? head : head + 16 * (i + 1)};
      onboard_write(head + 16 * i, d.data(), sizeof d);
    }
    const std::array<std::uint32_t, 8> words{kBuffer, head, kCamera << kCameraShift, 0, 0, 0, 0, entry};
    onboard_write(entry, words.data(), sizeof words);
    control |= 1u << c | 1u << (16 + c);
    bar_write32(board.get(), 0, kRegDmaChannelControl, control);
    bar_write32(board.get(), 0, kAlBlocks + c * kDmaBlockStride + kDmaStartWord * 4, entry);
  }

  std::vector<std::uint8_t> buffer() {
    std::vector<std::uint8_t> bytes(kLineBytes * kHeight);
    std::lock_guard guard(board->lock);
    onboard_memory_copy_out(board->onboard, kBuffer, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return bytes;
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full");
  std::uint32_t control = 0;
};

// Line y from column x to x + count, as one run.
Run line(std::uint32_t y, std::uint32_t x = 0, std::uint32_t count = kLineBytes) {
  return Run{y * kLineBytes + x, count};
}

Chain lines(std::uint32_t first, std::uint32_t end, std::uint32_t x = 0, std::uint32_t count = kLineBytes) {
  Chain chain;
  for (std::uint32_t y = first; y < end; ++y) chain.push_back(line(y, x, count));
  return chain;
}

struct Division {
  const char* name;
  std::vector<Chain> taps;  // tap t on AL channel t
  bool flipped;             // the buffer holds the frame bottom-up
};

TEST_F(DmaFramesTest, TheTapsOfACameraPutItsFrameTogetherInTheAcquisitionBuffer) {
  const Division divisions[] = {
      {"one tap", {lines(0, kHeight)}, false},
      {"upper and lower halves", {lines(0, kHeight / 2), lines(kHeight / 2, kHeight)}, false},
      {"left and right halves of every line",
       {lines(0, kHeight, 0, kWidth / 2), lines(0, kHeight, kWidth / 2, kWidth / 2)},
       false},
      {"three taps, a third of the lines each", {lines(0, 2), lines(2, 4), lines(4, 6)}, false},
      {"one tap laid bottom-up", {{line(5), line(4), line(3), line(2), line(1), line(0)}}, true},
  };
  for (const Division& division : divisions) {
    SCOPED_TRACE(division.name);
    const std::vector<std::uint8_t> cleared(kLineBytes * kHeight, 0);
    onboard_write(kBuffer, cleared.data(), static_cast<std::uint32_t>(cleared.size()));
    control = 0;
    for (std::uint32_t t = 0; t < division.taps.size(); ++t) load(t, division.taps[t]);
    board_inject_frame(board.get(), CameraFrame{kCamera, kWidth, kHeight, 1, 3});
    const std::vector<std::uint8_t> bytes = buffer();
    for (std::uint32_t y = 0; y < kHeight; ++y)
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        const std::uint32_t camera_line = division.flipped ? kHeight - 1 - y : y;
        ASSERT_EQ(bytes[y * kLineBytes + x], camera_pattern(0, kCamera, 3, x, camera_line)) << x << ',' << y;
      }
  }
}

// A chain that reaches past the frame's last line leaves those places as
// they were, and a chain of another camera takes nothing of this one.
TEST_F(DmaFramesTest, PlacesBeyondTheFrameAndOtherCamerasChainsStayUntouched) {
  const std::vector<std::uint8_t> marked(kLineBytes * (kHeight + 1), 0xEE);
  onboard_write(kBuffer, marked.data(), static_cast<std::uint32_t>(marked.size()));
  load(0, lines(kHeight / 2, kHeight + 1));
  board_inject_frame(board.get(), CameraFrame{kCamera + 1, kWidth, kHeight, 1, 3});
  EXPECT_EQ(buffer(), std::vector<std::uint8_t>(kLineBytes * kHeight, 0xEE));
  board_inject_frame(board.get(), CameraFrame{kCamera, kWidth, kHeight, 1, 3});
  std::vector<std::uint8_t> after(kLineBytes, 0);
  {
    std::lock_guard guard(board->lock);
    onboard_memory_copy_out(board->onboard, kBuffer + kLineBytes * kHeight, after.data(), kLineBytes);
  }
  EXPECT_EQ(after, std::vector<std::uint8_t>(kLineBytes, 0xEE));
  const std::vector<std::uint8_t> bytes = buffer();
  EXPECT_EQ(bytes[0], 0xEE);
  EXPECT_EQ(bytes[(kHeight - 1) * kLineBytes + 1], camera_pattern(0, kCamera, 3, 1, kHeight - 1));
}

// The camera's input LUT, once enabled, changes every 8-bit pixel on its way
// into the acquisition buffer; the table is what the board library loads
// into the LUT memory (one word per entry).
TEST_F(DmaFramesTest, AnEnabledInputLutShowsInTheFrame) {
  for (std::uint32_t i = 0; i < 256; ++i) bar_write32(board.get(), 0, kLutMemory + 4 * i, 255 - i);
  load(0, lines(0, kHeight));
  board_inject_frame(board.get(), CameraFrame{kCamera, kWidth, kHeight, 1, 3});
  EXPECT_EQ(buffer()[5], camera_pattern(0, kCamera, 3, 5, 0)) << "not enabled: the camera's pixels";

  bar_write32(board.get(), 0, kRegLutControl, kLutEnableBit);
  board_inject_frame(board.get(), CameraFrame{kCamera, kWidth, kHeight, 1, 4});
  const std::vector<std::uint8_t> bytes = buffer();
  for (std::uint32_t y = 0; y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x)
      ASSERT_EQ(bytes[y * kLineBytes + x], 255 - camera_pattern(0, kCamera, 4, x, y)) << x << ',' << y;

  bar_write32(board.get(), 0, kRegLutControl, 0);
  board_inject_frame(board.get(), CameraFrame{kCamera, kWidth, kHeight, 1, 5});
  EXPECT_EQ(buffer()[7], camera_pattern(0, kCamera, 5, 7, 0)) << "disabled again";
}

}  // namespace
}  // namespace plat::board

namespace plat::board {
namespace {

// A camera of two bytes a pixel meets a 10- or 12-bit LUT (16-bit entries,
// as the board library loads them), whose entry is cut to the control word's
// output width; runs that split pixels still see whole pixels looked up.
struct WideLutCase {
  std::uint32_t input, output;
};

TEST_F(DmaFramesTest, AWideInputLutLooksUpWholePixels) {
  constexpr std::uint32_t kPixels = kWidth / 2;
  for (const WideLutCase c : {WideLutCase{10, 10}, WideLutCase{12, 8}}) {
    const std::uint32_t entries = 1u << c.input;
    for (std::uint32_t i = 0; i < entries; i += 2)
      bar_write32(board.get(), 0, kLutMemory + 2 * i, (entries - 1 - i) | (entries - 2 - i) << 16);
    bar_write32(board.get(), 0, kRegLutControl, kLutEnableBit | c.input << kLutInputWidthShift |
                                                    c.output << kLutOutputWidthShift);
    Chain split;  // each line in runs of 5 and 11 bytes
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      split.push_back(line(y, 0, 5));
      split.push_back(line(y, 5, kLineBytes - 5));
    }
    load(0, split);
    const std::uint32_t number = 7 + c.input;
    board_inject_frame(board.get(), CameraFrame{kCamera, kPixels, kHeight, 2, number});
    const std::vector<std::uint8_t> bytes = buffer();
    for (std::uint32_t y = 0; y < kHeight; ++y)
      for (std::uint32_t p = 0; p < kPixels; ++p) {
        const std::uint32_t value = (camera_pattern(0, kCamera, number, 2 * p, y) |
                                     camera_pattern(0, kCamera, number, 2 * p + 1, y) << 8) & (entries - 1);
        const std::uint32_t expected = (entries - 1 - value) & ((1u << c.output) - 1);
        const std::uint32_t got = bytes[y * kLineBytes + 2 * p] | bytes[y * kLineBytes + 2 * p + 1] << 8;
        ASSERT_EQ(got, expected) << c.input << " bits, pixel " << p << ", line " << y;
      }
  }
}

}  // namespace
}  // namespace plat::board
