#include <gtest/gtest.h>

#include "platform/board/identity_block.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/support/machine_log.h"

namespace plat::board {
namespace {

TEST(RegisterFile, UnknownAccessesReadAllOnesAndAreLogged) {
  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full", 4);
  struct Case {
    int bar;
    std::uint64_t offset;
    const char* logged;
  };
  const Case cases[] = {
      {0, 0x7FC, "board 4: unknown register read at BAR0+0x007fc"},
      {0, 0x402, "board 4: unknown register read at BAR0+0x00402"},    // misaligned
      {0, 0x18000, "board 4: unknown register read at BAR0+0x18000"},  // beyond the blocks
      {0, 0xFFFFFFFFFFFFull, "unknown register read at BAR0+0xffffffffffff"},
      {2, 0x400, "board 4: unknown register read at BAR0+0x20000"},    // no such BAR
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bar_read32(board.get(), c.bar, c.offset), 0xFFFFFFFFu) << c.logged;
    EXPECT_NE(plat::support::read_machine_log().find(c.logged), std::string::npos) << c.logged;
  }
  bar_write32(board.get(), 0, 0x7F8, 0x1234);
  EXPECT_NE(plat::support::read_machine_log().find("unknown register write at BAR0+0x007f8 (0x00001234)"),
            std::string::npos);
}

TEST(RegisterFile, KnownRegistersAnswerWithoutLogging) {
  plat::testing::ScopedMachine machine;
  BoardPtr full = make_board("FolvantX4Full");
  BoardPtr dual = make_board("FolvantX4Dual", 1);
  EXPECT_EQ(bar_read32(full.get(), 0, kRegFpgaId), 0x227u);
  EXPECT_EQ(bar_read32(dual.get(), 0, kRegFpgaId), 0x238u);
  bar_write32(full.get(), 0, kRegFpgaId, 0);  // read-only
  EXPECT_EQ(bar_read32(full.get(), 0, kRegFpgaId), 0x227u);
  EXPECT_NE(bar_read32(full.get(), 0, 0x10018), 0xFFFFFFFFu);
  EXPECT_EQ(bar_read32(full.get(), 0, 0x10014) & 0x0FFFFFFFu, 0x4u);  // queue empty, nothing pending
  EXPECT_EQ(plat::support::read_machine_log().find("unknown register"), std::string::npos);
}

TEST(RegisterFile, MemoryDecodingOffReadsAllOnes) {
  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full");
  config_write(board.get(), kCfgCommand, 2, 0);
  EXPECT_EQ(bar_read32(board.get(), 0, kRegFpgaId), 0xFFFFFFFFu);
  config_write(board.get(), kCfgCommand, 2, kCommandMemorySpace);
  EXPECT_EQ(bar_read32(board.get(), 0, kRegFpgaId), 0x227u);
}

}  // namespace
}  // namespace plat::board
