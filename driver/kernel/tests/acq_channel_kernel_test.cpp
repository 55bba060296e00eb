// A channel's timer ticks and its transfer reset, in-process over the kernel
// services with a simulated board, where the channel's request word and the
// board's registers can be seen between two steps.
#include <gtest/gtest.h>

#include "driver/kernel/BoardReload.h"
#include "driver/kernel/ChannelWork.h"
#include "driver/kernel/Channels.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/tests/stavro_fixture.h"
#include "platform/board/board.h"
#include "platform/kernel/sync.h"

namespace {

constexpr std::uint32_t kChannelControl = 0x1010;
constexpr std::uint32_t kTriggerControl = 0x1020;
constexpr std::uint32_t kGrabReset = 0x3050;

class AcqChannelInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(stavro_.Start(), plat::kStatusSuccess);
    stavro_.AddBoard("FolvantX4Dual");
    board_ = BoardOf(stavro_.manager()->boardSlots[0]);
    ASSERT_NE(board_, nullptr);
    ASSERT_EQ(YatRebuildRegisterMap(board_), QELHW_OK);
  }

  std::uint32_t ModelRead(std::uint32_t offset) const {
    return plat::board::bar_read32(stavro_.board(0), 0, offset);
  }

  InProcessStavro stavro_;
  YatBoardExtension* board_ = nullptr;
};

TEST_F(AcqChannelInProcess, TicksWaitForTheSkipCounterAndNeverReplaceAPendingReset) {
  // Without timers and threads, the counter and the request word stay as these ticks leave them.
  for (std::uint32_t c = 0; c < kYatChannels; ++c) CloseChannel(board_, c);
  YatChannel& channel = board_->channels[0];
  board_->flagBits = 1;
  for (std::uint32_t expected : {2u, 3u, 4u}) {
    YatChannelTick(board_, 0);
    EXPECT_EQ(board_->flagBits, expected);
    EXPECT_EQ(channel.requestWord, 0u);
  }
  YatChannelTick(board_, 0);
  EXPECT_EQ(board_->flagBits, 4u);
  EXPECT_EQ(channel.requestWord, kYatChannelTimerTick);
  EXPECT_EQ(plat::kernel::read_event_state(&channel.event), 0);  // a tick leaves the thread asleep

  ASSERT_TRUE(PostChannelRequest(board_, 0, kYatChannelResetTransfers));
  EXPECT_NE(plat::kernel::read_event_state(&channel.event), 0);
  YatChannelTick(board_, 0);
  EXPECT_EQ(channel.requestWord, kYatChannelResetTransfers);
}

TEST_F(AcqChannelInProcess, TheResetReleasesTheChannelAndGivesItsCommandBack) {
  struct Case {
    std::uint32_t control;   // 0x1010 when the reset runs
    std::uint32_t restored;  // 0x1010 after it
  };
  const Case cases[] = {
      {0x09000004, 9},     // parked by a lost pixel clock
      {0x01000004, 1},
      {0x00000012, 0x12},  // nothing parked: written back as it was
  };
  ASSERT_EQ(Yat_WriteReg(board_, kTriggerControl, 1u << 12), QELHW_OK);  // a grab waits for its trigger
  for (const Case& c : cases) {
    ASSERT_EQ(Yat_WriteReg(board_, kGrabReset, 1), QELHW_OK);
    ASSERT_EQ(Yat_WriteReg(board_, kChannelControl, c.control), QELHW_OK);
    YatChannelRequest(board_, 0, kYatChannelResetTransfers);
    EXPECT_EQ(ModelRead(kChannelControl), c.restored) << std::hex << c.control;
    EXPECT_EQ(ModelRead(kGrabReset), 0u) << std::hex << c.control;
  }
}

}  // namespace
