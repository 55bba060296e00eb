#include <gtest/gtest.h>

#include <array>

#include "platform/board/interrupt_block.h"
#include "platform/board/onboard_memory.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

class OnboardMemoryTest : public ::testing::Test {
 protected:
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }

  // A job as the driver gives it: descriptor A, then B, eight words each.
  void job(std::uint32_t pair, std::uint32_t address, std::uint32_t bytes) {
    const std::array<std::uint32_t, 8> a{address, 0, 0, 0, 0, 0, 0, 0};
    const std::array<std::uint32_t, 8> b{0, 0, bytes, 0, 0, 0, 0, 0};
    for (std::uint32_t i = 0; i < 8; ++i) write(pair + 4 * i, a[i]);
    for (std::uint32_t i = 0; i < 8; ++i) write(pair + 0x20 + 4 * i, b[i]);
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full");
};

TEST_F(OnboardMemoryTest, WindowToMemoryAndBackAliasesAtTheEepromSize) {
  for (std::uint32_t i = 0; i < 512; ++i) write(kOnboardWindow + 4 * i, 0xA0000000 + i);
  job(0x7F80, 0x100000, 2048);
  EXPECT_EQ(read(kRegMainStatus) & kOnboardJobDone, kOnboardJobDone);
  write(kRegMainStatus, kOnboardJobDone);
  for (std::uint32_t i = 0; i < 512; ++i) write(kOnboardWindow + 4 * i, 0);
  // The default EEPROM gives 1024 MB: 1 GiB above reads the same bytes.
  job(0x7F40, 0x40100000 + 8, 16);  // engine 1, memory to window
  EXPECT_EQ(read(kOnboardWindow), 0xA0000002u);
  EXPECT_EQ(read(kOnboardWindow + 12), 0xA0000005u);
  EXPECT_EQ(read(kOnboardWindow + 16), 0u) << "only the count moves";
  EXPECT_EQ(read(kRegMainStatus) & kOnboardJobDone, kOnboardJobDone);
}

TEST_F(OnboardMemoryTest, UnwrittenMemoryReadsZeroAndDescriptorsReadBack) {
  write(kOnboardWindow, 0xFFFFFFFF);
  job(0x7FC0, 0x2000000, 8);
  EXPECT_EQ(read(kOnboardWindow), 0u);
  EXPECT_EQ(read(0x7FC0), 0x2000000u);
  EXPECT_EQ(read(0x7FE8), 8u);
}

}  // namespace
}  // namespace plat::board
