// Register access, the interrupt routine and DPC, and the process clean-up,
// in-process over the kernel services with a simulated board started through
// the bus.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "driver/kernel/BoardReload.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "driver/kernel/tests/stavro_fixture.h"
#include "platform/board/board.h"

namespace {

using namespace std::chrono_literals;

class StartupInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(stavro_.Start(), plat::kStatusSuccess);
    stavro_.AddBoard("FolvantX4Dual");
    board_ = BoardOf(stavro_.manager()->boardSlots[0]);
    ASSERT_NE(board_, nullptr);
    ASSERT_EQ(YatRebuildRegisterMap(board_), QELHW_OK);
  }

  plat::board::Board* model() const { return stavro_.board(0); }
  std::uint32_t ModelRead(std::uint32_t offset) const { return plat::board::bar_read32(model(), 0, offset); }

  template <typename Condition>
  static bool Eventually(Condition condition) {
    for (auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;) {
      if (condition()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  InProcessStavro stavro_;
  YatBoardExtension* board_ = nullptr;
};

TEST_F(StartupInProcess, ReadsComposeBoardAndShadowAsTheAccessWordSays) {
  EXPECT_EQ(board_->fpgaId, 0x238u);
  std::uint32_t value = 0;
  // Write-only: the board reads 0, the driver answers the last value written.
  ASSERT_EQ(Yat_WriteReg(board_, 0x420, 0xCAFE), QELHW_OK);
  EXPECT_EQ(ModelRead(0x420), 0u);
  ASSERT_EQ(Yat_ReadReg(board_, 0x420, &value), QELHW_OK);
  EXPECT_EQ(value, 0xCAFEu);
  // Mixed: the low 5 bits from the board, the rest from the shadow.
  ASSERT_EQ(Yat_WriteReg(board_, 0x414, 0xABCD0000), QELHW_OK);
  ASSERT_TRUE(plat::board::board_set_register_inputs(model(), 0x414, 0x15));
  ASSERT_EQ(Yat_ReadReg(board_, 0x414, &value), QELHW_OK);
  EXPECT_EQ(value, 0xABCD0015u);

  struct Refusal {
    std::uint32_t offset;
    bool write;
    QelHwStatus status;
  };
  const Refusal refusals[] = {
      {0x1000, true, QELHW_ERROR_DEVICE_WRITE},      // read-only
      {0x1224, false, QELHW_ERROR_DEVICE_READ},      // write-only without shadow read
      {0x18000, false, QELHW_ERROR_PARAMETER_INVALID},
      {0x4000, true, QELHW_ERROR_PARAMETER_INVALID},  // a cache block
  };
  for (const Refusal& r : refusals) {
    EXPECT_EQ(r.write ? Yat_WriteReg(board_, r.offset, 1) : Yat_ReadReg(board_, r.offset, &value), r.status)
        << std::hex << r.offset;
  }
  ASSERT_EQ(Yat_WriteAndDisableReg(board_, 0x420), QELHW_OK);
  EXPECT_EQ(Yat_WriteReg(board_, 0x420, 1), QELHW_ERROR_DEVICE_WRITE);
  EXPECT_NE(stavro_.Log().find("Offset out of range [0x00018000]"), std::string::npos);
}

TEST_F(StartupInProcess, SetBitsAndCacheWordsStayInsideTheirBlock) {
  ASSERT_EQ(Yat_SetBitsReg(board_, 0x41C, 0xF0, 0xF0), QELHW_OK);
  ASSERT_EQ(Yat_SetBitsReg(board_, 0x41C, 0x0C, 0x0F), QELHW_OK);
  EXPECT_EQ(ModelRead(0x41C), 0xFCu);
  const std::uint32_t words[3] = {1, 2, 3};
  std::uint32_t back[3] = {};
  ASSERT_EQ(Yat_WriteCacheDwords(board_, 0x4FF4, words, 3), QELHW_OK);
  ASSERT_EQ(Yat_ReadCacheDwords(board_, 0x4FF4, back, 3), QELHW_OK);
  EXPECT_EQ(back[2], 3u);
  EXPECT_EQ(Yat_WriteCacheDwords(board_, 0x4FF8, words, 3), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Yat_ReadCacheDwords(board_, 0x4FF6, back, 1), QELHW_ERROR_DEVICE_READ);
}

TEST_F(StartupInProcess, ProcessingMemoryAndIndexRegistersReachTheUnit) {
  std::uint32_t words[300];
  for (std::uint32_t i = 0; i < 300; ++i) words[i] = 0x1000 + i;
  ASSERT_EQ(Yat_WriteProcessingMemory(board_, 1, 0x3F0, words, 300), QELHW_OK);
  std::uint32_t word = 0;
  ASSERT_TRUE(plat::board::board_peek_processing(model(), 1, 0x3F0 + 4 * 299, false, &word));
  EXPECT_EQ(word, 0x1000u + 299);
  std::uint32_t back[4] = {};
  ASSERT_EQ(Yat_ReadProcessingMemory(board_, 1, 0x3FC, back, 4), QELHW_OK);
  EXPECT_EQ(back[0], 0x1003u);
  EXPECT_EQ(back[3], 0x1006u);
  YatRegisterPair pairs[2] = {{7, 0x77}, {9, 0x99}};
  ASSERT_EQ(YatWriteIndexRegisters(board_, 0, pairs, 2), QELHW_OK);
  YatRegisterPair read[1] = {{9, 0}};
  ASSERT_EQ(YatReadIndexRegisters(board_, 0, read, 1), QELHW_OK);
  EXPECT_EQ(read[0].value, 0x99u);
}

TEST_F(StartupInProcess, ABoardReadingAllOnesLosesItsMasterEnable) {
  plat::board::board_raise_status(model(), 0x404, 1u << 15);
  ASSERT_TRUE(Eventually([&] { return ModelRead(0x404) == 0; }));  // claimed and acknowledged
  plat::board::board_set_vanish_mode(model(), plat::board::VanishMode::kVanishedLineHeld);
  plat::board::board_raise_status(model(), 0x404, 1u << 16);
  ASSERT_TRUE(Eventually([&] { return (board_->interruptMaskWord & 1u) == 0; }));
  plat::board::board_set_vanish_mode(model(), plat::board::VanishMode::kPresent);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(ModelRead(0x404), 1u << 16);  // nobody claims it any more
  EXPECT_TRUE(plat::board::board_interrupt_asserted(model()));
  SetInterruptMask(board_, 0, 1);  // quiet the line for the teardown
}

TEST_F(StartupInProcess, TwoInterruptsBeforeOneDpcAreOred) {
  // The board's own mask keeps its line down: the routine runs only when called here.
  plat::board::bar_write32(model(), 0, 0x42C, 0);
  ASSERT_EQ(board_->interruptMaskWord & 1u, 1u);
  stavro_.manager()->traceFlags |= kTraceEvents;
  plat::board::board_raise_status(model(), 0x404, 1u << 15);
  plat::board::board_raise_status(model(), 0x44C, 0x1);
  ASSERT_EQ(BoardIsr(board_, nullptr, nullptr), QELHW_OK);
  plat::board::board_raise_status(model(), 0x404, 1u << 16);
  plat::board::board_raise_status(model(), 0x44C, 0x100);
  ASSERT_EQ(BoardIsr(board_, nullptr, nullptr), QELHW_OK);
  EXPECT_EQ(board_->pendingStatus[0], (1u << 15) | (1u << 16) | (1u << 9));
  EXPECT_EQ(board_->pendingStatus[8], 0x100u);  // the later value, not ORed
  EXPECT_EQ(BoardIsr(board_, nullptr, nullptr), QELHW_ERROR_NO_INTERRUPT);  // nothing pending now
  YatMgrDpc(nullptr, board_->ownDevice, nullptr, nullptr);
  EXPECT_EQ(board_->pendingStatus[0], 0u);
  const std::string log = stavro_.Log();
  EXPECT_NE(log.find("Board(0) event 267"), std::string::npos);
  EXPECT_NE(log.find("Board(0) event 268"), std::string::npos);
}

TEST_F(StartupInProcess, ChannelsOfAProcessThatLeavesGetTheStopCommand) {
  YatManagerExtension* manager = stavro_.manager();
  const std::uint32_t slot = AddProcessID(manager, 4242);
  ASSERT_LT(slot, kYatProcessSlots);
  board_->acqOwner[2] = slot;
  board_->acqOwner[5] = slot;
  board_->acqOwner[6] = slot + 1;
  RemoveProcessID(manager, 4242);
  std::uint32_t command = 0;
  for (std::uint32_t channel : {2u, 5u}) {
    ASSERT_TRUE(plat::board::board_peek_register(model(), 0x1010 + 0x400 * channel, &command));
    EXPECT_EQ(command, 4u) << channel;
    EXPECT_EQ(board_->acqOwner[channel], kYatNoOwner);
  }
  ASSERT_TRUE(plat::board::board_peek_register(model(), 0x1010 + 0x400 * 6, &command));
  EXPECT_EQ(command, 0u);
  EXPECT_EQ(FindProcessSlot(manager, 4242), kYatNoProcessSlot);
}

}  // namespace
