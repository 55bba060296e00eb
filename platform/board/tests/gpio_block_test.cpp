// General-purpose I/O on a board: inputs set by the test, the edge latches and
// their interrupt status as the driver's interrupt routine meets them, and the
// outputs and control word as the library leaves them.
#include <gtest/gtest.h>

#include "platform/board/gpio_block.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

class GpioTest : public ::testing::Test {
 protected:
  void SetUp() override { board = make_board("FolvantX4Full"); }
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }
  void inputs(GpioGroup group, std::uint32_t lines) {
    ASSERT_TRUE(board_gpio_set_inputs(board.get(), static_cast<std::uint32_t>(group), lines));
  }
  bool io_event() { return (read(kRegMainStatus) & kMainStatusIoEvent) != 0; }
  // What the interrupt routine does with the two latch registers and the main status.
  void acknowledge() {
    write(kRegMainInputs, read(kRegMainInputs));
    write(kRegIoLatches, read(kRegIoLatches) & kIoLatchBits);
    write(kRegMainStatus, read(kRegMainStatus));
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board;
};

TEST_F(GpioTest, MainInputEdgesLatchOnlyWhenSelectedAndEnabled) {
  struct Case {
    const char* name;
    std::uint32_t settings;  // 0x820 as the driver and the library leave it
    std::uint32_t from, to;
    bool latched;
  };
  const std::uint32_t enable0 = 1u << kMainEnableShift, rising0 = 1u << kMainEdgeShift;
  const Case cases[] = {
      {"rising edge selected", enable0 | rising0, 0, 1, true},
      {"falling edge on a rising selection", enable0 | rising0, 1, 0, false},
      {"falling edge selected", enable0, 1, 0, true},
      {"rising edge on a falling selection", enable0, 0, 1, false},
      {"event not enabled", rising0, 0, 1, false},
      {"another line moves", enable0 | rising0, 0, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    inputs(GpioGroup::kMainBoard, c.from);
    write(kRegMainInputs, c.settings);
    acknowledge();
    inputs(GpioGroup::kMainBoard, c.to);
    EXPECT_EQ(read(kRegMainInputs), c.to | (c.latched ? 1u << kMainLatchShift : 0) | c.settings);
    EXPECT_EQ(io_event(), c.latched);
  }
}

TEST_F(GpioTest, TheRoutinesWriteBackClearsTheLatchesAndKeepsTheSettings) {
  write(kRegInterruptMask, kMaskMasterEnable);
  const std::uint32_t settings = (0xFu << kMainEnableShift) | (0x5u << kMainEdgeShift);
  write(kRegMainInputs, settings);
  inputs(GpioGroup::kMainBoard, 0x5);  // lines 0 and 2 rise, both selected rising
  EXPECT_TRUE(board_interrupt_asserted(board.get()));
  const std::uint32_t seen = read(kRegMainInputs);
  EXPECT_EQ(seen, 0x5u | 0x50u | settings);
  acknowledge();
  EXPECT_EQ(read(kRegMainInputs), 0x5u | settings);
  EXPECT_FALSE(board_interrupt_asserted(board.get()));
  // Input bits are not the writer's: a write of zeros leaves the lines.
  write(kRegMainInputs, 0);
  EXPECT_EQ(read(kRegMainInputs), 0x5u);
}

TEST_F(GpioTest, IoBoardLinesAndFaultLatchIn0x800WhileTheirEventsAreEnabled) {
  const std::uint32_t rising0 = 1u << kIoEdgeShift;
  write(kRegIoInputs, rising0);  // no event enabled
  inputs(GpioGroup::kIoBoard, 0x01 | kIoFaultInput);
  EXPECT_EQ(read(kRegIoLatches), 0u);
  EXPECT_FALSE(io_event());
  inputs(GpioGroup::kIoBoard, 0);
  const std::uint32_t enables = (0x3u << kIoEnableShift) | kIoFaultEventEnable;  // lines 0, 1 and the fault
  write(kRegIoInputs, rising0 | enables);
  inputs(GpioGroup::kIoBoard, 0x06);  // line 1 rises (falling selected), line 2 is not enabled
  EXPECT_EQ(read(kRegIoLatches), 0u);
  inputs(GpioGroup::kIoBoard, 0x01 | kIoFaultInput);  // line 0 rises, lines 1 and 2 fall, the fault rises
  EXPECT_EQ(read(kRegIoInputs), 0x01u | kIoFaultInput | rising0 | enables);
  EXPECT_EQ(read(kRegIoLatches), 0x1u | 0x2u | kIoFaultLatch);
  EXPECT_TRUE(io_event());
  acknowledge();
  EXPECT_EQ(read(kRegIoLatches), 0u);
  EXPECT_FALSE(io_event());
}

TEST_F(GpioTest, LatchRegisterKeepsItsOtherBitsAndAWriteFlipsOnlyTheLatchesItNames) {
  write(kRegIoLatches, 0x5A5A1234);
  EXPECT_EQ(read(kRegIoLatches), 0x5A5A1234u);
  write(kRegIoLatches, 0x5A5A1234);
  EXPECT_EQ(read(kRegIoLatches), 0x5A5A1200u);
}

TEST_F(GpioTest, OutputsAndControlAreWriteOnlyAndTheLoadPulseTakesTheSetting) {
  write(kRegIoOutputs, 0xA5);
  write(kRegMainOutputs, 0x3C);
  write(kRegIoControl, kIoControlOutputSetting);
  write(kRegIoControl, kIoControlOutputSetting | kIoControlLoadPulse);
  write(kRegIoControl, kIoControlOutputSetting);
  for (std::uint32_t offset : {kRegIoOutputs, kRegMainOutputs, kRegIoControl}) EXPECT_EQ(read(offset), 0u);
  const GpioBlock view = board_gpio_view(board.get());
  EXPECT_EQ(view.io_outputs, 0xA5u);
  EXPECT_EQ(view.main_outputs, 0x3Cu);
  EXPECT_EQ(view.io_control, kIoControlOutputSetting);
  EXPECT_EQ(view.load_pulses, 1u);
  EXPECT_EQ(view.output_setting, 1u);
  std::uint32_t peeked = 0;
  ASSERT_TRUE(board_peek_register(board.get(), kRegIoOutputs, &peeked));
  EXPECT_EQ(peeked, 0xA5u);
  EXPECT_FALSE(board_gpio_set_inputs(board.get(), 2, 0));
}

}  // namespace
}  // namespace plat::board
