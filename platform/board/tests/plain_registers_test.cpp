#include <gtest/gtest.h>

#include "platform/board/control_registers.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/memory_windows.h"
#include "platform/board/processing_unit.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/support/machine_log.h"

namespace plat::board {
namespace {

class PlainRegistersTest : public ::testing::Test {
 protected:
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }
  std::uint32_t peek(std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_TRUE(board_peek_register(board.get(), offset, &value)) << std::hex << offset;
    return value;
  }
  bool logged_unknown() {
    return plat::support::read_machine_log().find("unknown register") != std::string::npos;
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Dual");
};

TEST_F(PlainRegistersTest, EachKindAnswersAsItsBoardWould) {
  struct Case {
    std::uint32_t offset;
    std::uint32_t written;
    std::uint32_t inputs;     // set before the read
    std::uint32_t read_back;  // what the bus reads then
  };
  const Case cases[] = {
      {0x41C, 0x12345678, 0, 0x12345678},                       // read/write
      {0x420, 0x0000FFFF, 0, 0},                                // write-only
      {kRegBoardControl, 0xABCDEF00, 0x15, 0x15},               // mixed: low 5 bits are inputs
      {kRegBoardControl, 0xABCDEF00, 0xFFFFFFFF, 0x1F},         // inputs beyond the mask are dropped
      {0x110C, 0x1, 0x0C000000, 0x0C000000},                    // read-only
      {kRegChannelControl + 7 * kChannelStride, 4, 0x80000000, 0x80000000},  // channel 7: busy bit
      {0x3048, 0xFF, 0x00001200, 0x00001200},                   // upper bits inputs
  };
  for (const Case& c : cases) {
    write(c.offset, c.written);
    board_set_register_inputs(board.get(), c.offset, c.inputs);
    EXPECT_EQ(read(c.offset), c.read_back) << std::hex << c.offset;
  }
  EXPECT_EQ(peek(0x420), 0x0000FFFFu);
  EXPECT_EQ(peek(kRegChannelControl + 7 * kChannelStride), 4u);
  EXPECT_EQ(peek(0x110C), 0u);  // read-only: the write was not taken
  EXPECT_FALSE(board_set_register_inputs(board.get(), 0x41C, 1));  // no inputs
  EXPECT_FALSE(logged_unknown());
}

TEST_F(PlainRegistersTest, FrontEndsIdentifyThemselves) {
  EXPECT_EQ(read(kRegFrontEndIdentity), kFrontEndIdentity);
  EXPECT_EQ(read(kRegFrontEndIdentity + kChannelStride), kFrontEndIdentity);
  write(kRegFrontEndIdentity, 0);
  EXPECT_EQ(read(kRegFrontEndIdentity), kFrontEndIdentity);
}

TEST_F(PlainRegistersTest, MemoryWindowsHoldWords) {
  // 0x15000..0x1501C read as the host message window (host_messages.h).
  for (std::uint32_t offset : {0x4000u, 0x7F7Cu, 0xF3FCu, 0x15020u, 0x16FFCu}) {
    write(offset, offset ^ 0x5A5A5A5A);
    EXPECT_EQ(read(offset), offset ^ 0x5A5A5A5A) << std::hex << offset;
  }
  EXPECT_FALSE(logged_unknown());
  EXPECT_EQ(read(0xF400), 0xFFFFFFFFu);  // the end of the last block is no window
  EXPECT_TRUE(logged_unknown());
}

TEST_F(PlainRegistersTest, ProcessingMemoryIsWrittenPageByPageThroughTheWindow) {
  const std::uint32_t unit = 1, base = unit * kProcessingUnitStride;
  EXPECT_EQ(read(base + kRegPuStatus) & kPuWriteReady, kPuWriteReady);
  write(base + kRegPuWriteCount, 12);
  write(base + kRegPuWriteAddress, 0x2400);
  write(base + kPuDataWindow + 0x3F8, 0x11);
  write(base + kPuDataWindow + 0x3FC, 0x22);
  write(base + kRegPuWriteAddress, 0x2800);
  write(base + kPuDataWindow, 0x33);
  EXPECT_EQ(read(base + kRegPuBytesLeft), 0u);
  std::uint32_t word = 0;
  ASSERT_TRUE(board_peek_processing(board.get(), unit, 0x27FC, false, &word));
  EXPECT_EQ(word, 0x22u);
  EXPECT_EQ(read(base + kRegPuStatus) & kPuReadReady, 0u);
  write(base + kRegPuReadAddress, 0x2800);
  EXPECT_EQ(read(base + kRegPuStatus) & kPuReadReady, kPuReadReady);
  EXPECT_EQ(read(base + kRegPuReadWord), 0x33u);
  write(base + kRegPuReadAddress, 0x27F8);
  EXPECT_EQ(read(base + kRegPuReadWord), 0x11u);
  ASSERT_TRUE(board_peek_processing(board.get(), 0, 0x27FC, false, &word));
  EXPECT_EQ(word, 0u);  // the other unit has its own memory
}

TEST_F(PlainRegistersTest, IndexRegistersArePairsPerUnit) {
  write(kRegPuIndex, 5);
  write(kRegPuData, 0xCAFE);
  write(kProcessingUnitStride + kRegPuIndex, 5);
  write(kProcessingUnitStride + kRegPuData, 0xBEEF);
  write(kRegPuReadIndex, 5);
  EXPECT_EQ(read(kRegPuReadData), 0xCAFEu);
  write(kProcessingUnitStride + kRegPuReadIndex, 5);
  EXPECT_EQ(read(kProcessingUnitStride + kRegPuReadData), 0xBEEFu);
  write(kRegPuReadIndex, kPuIndexRegisters);
  EXPECT_EQ(read(kRegPuReadData), 0xFFFFFFFFu);
}

TEST_F(PlainRegistersTest, AVanishedBoardMayHoldItsInterruptLine) {
  write(kRegInterruptMask, kMaskMasterEnable);
  board_raise_status(board.get(), kRegMainStatus, 1u << 15);
  ASSERT_TRUE(board_interrupt_asserted(board.get()));
  board_set_vanish_mode(board.get(), VanishMode::kVanishedLineHeld);
  EXPECT_TRUE(board_interrupt_asserted(board.get()));
  EXPECT_EQ(read(kRegHostDmaStatus), 0xFFFFFFFFu);
  write(kRegMainStatus, 1u << 15);  // dropped: the status stays
  EXPECT_TRUE(board_interrupt_asserted(board.get()));
  board_set_vanish_mode(board.get(), VanishMode::kVanished);
  EXPECT_FALSE(board_interrupt_asserted(board.get()));
  board_set_vanish_mode(board.get(), VanishMode::kPresent);
  EXPECT_TRUE(board_interrupt_asserted(board.get()));
  EXPECT_EQ(read(kRegMainStatus), 1u << 15);
}

}  // namespace
}  // namespace plat::board
