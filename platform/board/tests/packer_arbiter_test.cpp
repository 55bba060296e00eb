#include <gtest/gtest.h>

#include "platform/board/board_state.h"
#include "platform/board/packer_arbiter.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/support/machine_log.h"

namespace plat::board {
namespace {

class PackerArbiterTest : public ::testing::Test {
 protected:
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }
  void write_list(std::uint32_t base, std::uint32_t first_control) {
    for (std::uint32_t n = 0; n < kArbiterEntries; ++n) {
      write(base + 8 * n, first_control + n);
      write(base + 8 * n + 4, 0x01234567 + n);
    }
  }
  ArbiterWindow window(std::uint32_t w) {
    std::lock_guard<std::mutex> hold(board->lock);
    return board->arbiter.windows[w];
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Dual");
};

TEST_F(PackerArbiterTest, SwapHandshakeAcknowledgesAndRunsOnTheCompleteList) {
  for (std::uint32_t w = 0; w < kArbiterWindows; ++w) {
    const std::uint32_t base = w * kArbiterWindowStride;
    const std::uint32_t swap = kRegArbiterSwap + base;
    EXPECT_EQ(read(swap) & kArbiterSwapRequest, 0u);

    write_list(kRegArbiterShadowList + base, 0x1000);
    write(swap, kArbiterSwapRequest);
    EXPECT_EQ(read(swap) & kArbiterSwapRequest, kArbiterSwapRequest);
    EXPECT_EQ(window(w).live[0], 0x1000u);
    EXPECT_TRUE(window(w).on_shadow);

    // Rewriting the main list leaves the arbitrator on the shadow list.
    write_list(kRegArbiterMainList + base, 0x2000);
    EXPECT_EQ(window(w).live[2], 0x1001u);
    write(swap, 0);
    EXPECT_EQ(read(swap) & kArbiterSwapRequest, 0u);
    const ArbiterWindow after = window(w);
    EXPECT_FALSE(after.on_shadow);
    EXPECT_EQ(after.live[18], 0x2009u);
    EXPECT_EQ(after.live[19], 0x01234567u + 9);
    EXPECT_EQ(after.swaps, 2u);

    std::uint32_t peeked = 0;
    ASSERT_TRUE(board_peek_register(board.get(), kRegArbiterMainList + base + 8, &peeked));
    EXPECT_EQ(peeked, 0x2001u);
  }
  EXPECT_EQ(window(0).live[0], 0x2000u);  // window 1 left window 0 alone
  EXPECT_EQ(plat::support::read_machine_log().find("unknown register"), std::string::npos);
}

TEST_F(PackerArbiterTest, OtherSwapRegisterBitsStayTheBoardsInputs) {
  board_set_register_inputs(board.get(), kRegArbiterSwap, 0xFFFFFFFF);
  EXPECT_EQ(read(kRegArbiterSwap), 0xFFFFFFFEu);
  write(kRegArbiterSwap, kArbiterSwapRequest);
  EXPECT_EQ(read(kRegArbiterSwap), 0xFFFFFFFFu);
  // Repeating the request is no new swap.
  write(kRegArbiterSwap, kArbiterSwapRequest | 2);
  EXPECT_EQ(window(0).swaps, 1u);
}

}  // namespace
}  // namespace plat::board
