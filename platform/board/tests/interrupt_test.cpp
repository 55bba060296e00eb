#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "platform/board/interrupt_block.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

// Records every level the board reports, as the kernel's callback would see it.
struct LineRecorder {
  std::mutex lock;
  std::vector<bool> levels;
  static void report(void* context, bool asserted) {
    auto* self = static_cast<LineRecorder*>(context);
    std::lock_guard guard(self->lock);
    self->levels.push_back(asserted);
  }
  std::vector<bool> seen() {
    std::lock_guard guard(lock);
    return levels;
  }
};

class InterruptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board = make_board("FolvantX4Full");
    board_set_interrupt_callback(board.get(), &LineRecorder::report, &recorder);
  }
  void TearDown() override { board_set_interrupt_callback(board.get(), nullptr, nullptr); }
  bool line() { return board_interrupt_asserted(board.get()); }
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }

  plat::testing::ScopedMachine machine;
  BoardPtr board;
  LineRecorder recorder;
};

TEST_F(InterruptTest, LineNeedsMasterEnableAndPendingStatus) {
  ASSERT_TRUE(board_raise_status(board.get(), kRegMainStatus, 1u << 6));
  EXPECT_FALSE(line());  // master enable off
  EXPECT_EQ(read(kRegMainStatus), 1u << 6);
  write(kRegInterruptMask, kMaskMasterEnable);
  EXPECT_TRUE(line());
  EXPECT_NE(config_read(board.get(), kCfgStatus, 2) & kStatusInterrupt, 0u);
  write(kRegMainStatus, read(kRegMainStatus));  // the routine acknowledges what it read
  EXPECT_FALSE(line());
  EXPECT_EQ(read(kRegMainStatus), 0u);
  EXPECT_EQ(recorder.seen(), (std::vector<bool>{true, false}));
}

TEST_F(InterruptTest, WriteOneClearsOnlyTheWrittenBits) {
  write(kRegInterruptMask, kMaskMasterEnable);
  board_raise_status(board.get(), kRegMainStatus, 0x3);
  write(kRegMainStatus, 0x1);
  EXPECT_EQ(read(kRegMainStatus), 0x2u);
  EXPECT_TRUE(line());
  write(kRegMainStatus, 0x0);
  EXPECT_EQ(read(kRegMainStatus), 0x2u);
  write(kRegMainStatus, 0x2);
  EXPECT_FALSE(line());
}

TEST_F(InterruptTest, EnablesGateTheirStatusBits) {
  write(kRegInterruptMask, kMaskMasterEnable);
  struct Case {
    std::uint32_t main_bit, enable_register, enable_value;
  };
  const Case cases[] = {
      {1u << 3, kRegEventEnables, 1u << 16},
      {1u << 4, kRegEventEnables, 1u << 18},
      {1u << 7, kRegTransferEventEnables, 1u << 17},
      {1u << 10, kRegInterruptMask, kMaskMasterEnable | (1u << 8)},
      {1u << 20, kRegInterruptMask, kMaskMasterEnable | (1u << 11)},
  };
  for (const Case& c : cases) {
    board_raise_status(board.get(), kRegMainStatus, c.main_bit);
    EXPECT_FALSE(line()) << std::hex << c.main_bit;
    write(c.enable_register, c.enable_value);
    EXPECT_TRUE(line()) << std::hex << c.main_bit;
    write(c.enable_register, c.enable_register == kRegInterruptMask ? kMaskMasterEnable : 0);
    EXPECT_FALSE(line()) << std::hex << c.main_bit;
    write(kRegMainStatus, c.main_bit);
  }
}

TEST_F(InterruptTest, AuxiliaryAndDmaStatusesAreAcknowledgedWhereTheyLatch) {
  write(kRegInterruptMask, kMaskMasterEnable);
  board_raise_status(board.get(), kRegAuxStatusA, 0x10);
  board_raise_status(board.get(), kRegAuxStatusB, 0x1);
  EXPECT_EQ(read(kRegMainStatus), kMainAuxASummary | kMainAuxBSummary);
  write(kRegAuxStatusA, read(kRegAuxStatusA));
  EXPECT_EQ(read(kRegMainStatus), kMainAuxBSummary);
  write(kRegAuxStatusB, 0x1);
  EXPECT_FALSE(line());

  board_raise_status(board.get(), kRegHostDmaStatus, kHostDmaMessagePending);
  EXPECT_TRUE(line());
  EXPECT_EQ(read(kRegHostDmaStatus), kHostDmaMessagePending | kHostDmaQueueEmpty);
  write(kRegHostDmaStatus, read(kRegHostDmaStatus));
  EXPECT_FALSE(line());

  write(kRegInterruptMask, kMaskMasterEnable | (1u << 4));
  board_raise_status(board.get(), kRegMemoryRegionEvents, 0x5);
  EXPECT_EQ(read(kRegMainStatus), kMainMemoryRegionEvent);
  write(kRegMemoryRegionEvents, read(kRegMemoryRegionEvents));
  write(kRegMainStatus, kMainMemoryRegionEvent);
  EXPECT_EQ(read(kRegMemoryRegionEvents), 0u);
  EXPECT_FALSE(line());
  EXPECT_FALSE(board_raise_status(board.get(), 0x400, 1));
}

TEST_F(InterruptTest, VanishingAndInterruptDisableDropTheLine) {
  write(kRegInterruptMask, kMaskMasterEnable);
  board_raise_status(board.get(), kRegMainStatus, 1);
  EXPECT_TRUE(line());
  config_write(board.get(), kCfgCommand, 2, kCommandMemorySpace | kCommandInterruptDisable);
  EXPECT_FALSE(line());
  config_write(board.get(), kCfgCommand, 2, kCommandMemorySpace);
  EXPECT_TRUE(line());
  board_set_vanished(board.get(), true);
  EXPECT_FALSE(line());
  write(kRegMainStatus, 1);  // ignored while vanished
  board_set_vanished(board.get(), false);
  EXPECT_TRUE(line());
  EXPECT_EQ(recorder.seen(), (std::vector<bool>{true, false, true, false, true}));
}

// The kernel's routine runs inside the callback on the reporting thread and
// acknowledges there; the line then falls without a deadlock.
TEST_F(InterruptTest, CallbackMayAcknowledgeFromInside) {
  struct Acknowledger {
    Board* board;
    int calls = 0;
    static void report(void* context, bool asserted) {
      auto* self = static_cast<Acknowledger*>(context);
      ++self->calls;
      if (asserted) bar_write32(self->board, 0, kRegMainStatus, bar_read32(self->board, 0, kRegMainStatus));
    }
  } acknowledger{board.get()};
  board_set_interrupt_callback(board.get(), &Acknowledger::report, &acknowledger);
  write(kRegInterruptMask, kMaskMasterEnable);
  board_raise_status(board.get(), kRegMainStatus, 1u << 25);
  EXPECT_FALSE(line());
  EXPECT_EQ(acknowledger.calls, 2);
}

TEST_F(InterruptTest, ConnectingReportsAnAlreadyAssertedLine) {
  board_set_interrupt_callback(board.get(), nullptr, nullptr);
  write(kRegInterruptMask, kMaskMasterEnable);
  board_raise_status(board.get(), kRegMainStatus, 1);
  LineRecorder late;
  board_set_interrupt_callback(board.get(), &LineRecorder::report, &late);
  EXPECT_EQ(late.seen(), std::vector<bool>{true});
}

// Events and acknowledgements from several threads at once: whatever the
// interleaving, the last level reported is the line's level.
TEST_F(InterruptTest, LastReportMatchesTheLineUnderConcurrentChanges) {
  write(kRegInterruptMask, kMaskMasterEnable);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      const std::uint32_t bit = 1u << (21 + t % 2 * 4);  // bits 21 and 25: no enable of their own
      for (int i = 0; i < 2000; ++i) {
        if ((i + t) % 2 == 0)
          board_raise_status(board.get(), kRegMainStatus, bit);
        else
          write(kRegMainStatus, bit);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<bool> seen = recorder.seen();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), line());
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]) << "report " << i;
}

}  // namespace
}  // namespace plat::board
