// Routing of channel events: the board's status clears and enables, the
// owner rule, and how the two route kinds share an enable.
#include <gtest/gtest.h>

#include "driver/kernel/tests/MsgFakeBoard.h"

namespace {

class RouteTest : public ::testing::Test {
 protected:
  YatBoardExtension* board() { return fake_.board.get(); }
  MsgFakeBoard fake_;
};

struct RouteCase {
  std::uint32_t channel;
  std::uint32_t bits;
  std::uint32_t statusReg, statusValue;  // 0: no clear
  std::uint32_t enableReg, enableBits;
};

TEST_F(RouteTest, RoutingClearsThePendingStatusThenEnables) {
  const RouteCase cases[] = {
      {0, 0x2, 0x404, 8, 0x418, 0x30000},
      {1, 0x4, 0x404, 16, 0x418, 0xC0000},
      {1, 0x200, 0x404, 0x80, 0x126C, 1u << 19},
      {2, 0x1000000, 0x404, 0x8000000, 0x196C, 0x2},
      {0, 0x8000000, 0x404, 0x80, 0x126C, 1u << 19},
      {3, 0x4000000, 0x404, 0x400000, 0x1D6C, 0x1},
      {1, 0x2000000, 0x408, 0x2000, 0x156C, 1u << 5},
      {0, 0x80000000, 0x404, 0x1000000, 0x1280, 0x300},
      {2, 0x20, 0x408, 4, 0x196C, 1u << 2},
      {3, 0x800000, 0x408, 0x800, 0x1D6C, 1u << 4},
      {1, 0x2000, 0x40C, 0x800, 0x1468, 1u << 19},
      {0, 0x4000, 0x404, 0x100, 0x1110, 1u << 30},
  };
  std::uint32_t slot = 0;
  for (const RouteCase& c : cases) {
    SCOPED_TRACE(c.bits);
    fake_.writes.clear();
    ASSERT_EQ(RouteEvent(board(), c.channel, c.bits, slot, kYatRouteMessages, true), QELHW_OK);
    ASSERT_FALSE(fake_.writes.empty());
    EXPECT_EQ(fake_.writes.front(), std::make_pair(c.statusReg, c.statusValue));
    EXPECT_EQ(fake_.Reg(c.enableReg) & c.enableBits, c.enableBits);
    EXPECT_EQ(fake_.routing->channelEventOwner[c.channel].load(), slot);
    ASSERT_EQ(RouteEvent(board(), c.channel, c.bits, slot, kYatRouteMessages, false), QELHW_OK);
    EXPECT_EQ(fake_.Reg(c.enableReg) & c.enableBits, 0u);
    EXPECT_EQ(fake_.routing->channelEventOwner[c.channel].load(), kYatNoOwner);
    ++slot;
  }
}

TEST_F(RouteTest, MaskEnablesGoThroughTheInterruptMask) {
  ASSERT_EQ(RouteEvent(board(), 1, 0x8 | 0x10, 2, kYatRouteMessages, true), QELHW_OK);
  EXPECT_EQ(fake_.interruptMask, 0x10u | 1u << 9);
  EXPECT_EQ(fake_.Reg(0x44C), 40u);
  ASSERT_EQ(RouteEvent(board(), 0, 0x8, 2, kYatRouteMessages, true), QELHW_OK);
  ASSERT_EQ(RouteEvent(board(), 1, 0x8 | 0x10, 2, kYatRouteMessages, false), QELHW_OK);
  EXPECT_EQ(fake_.interruptMask, 0x10u);  // channel 0 still wants memory-region events
}

TEST_F(RouteTest, ASecondProcessCannotTakeAnOwnedChannel) {
  ASSERT_EQ(RouteEvent(board(), 0, 0x4000000, 1, kYatRouteMessages, true), QELHW_OK);
  fake_.writes.clear();
  EXPECT_EQ(RouteEvent(board(), 0, 0x20, 2, kYatRouteMessages, true), QELHW_ERROR_PROCESS_CONNECT);
  EXPECT_TRUE(fake_.writes.empty());
  EXPECT_EQ(fake_.routing->channelEventOwner[0].load(), 1u);
  EXPECT_EQ(fake_.routing->channelMessageMask[0].load(), 0x4000000u);
}

TEST_F(RouteTest, BadArgumentsAreRefused) {
  EXPECT_EQ(RouteEvent(board(), 1, 0x8000000, 0, kYatRouteMessages, true), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(RouteEvent(board(), 2, 0x80000000, 0, kYatRouteMessages, true), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(RouteEvent(board(), 8, 0x2, 0, kYatRouteMessages, true), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(RouteEvent(board(), 0, 0x2, 16, kYatRouteMessages, true), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(fake_.routing->channelEventOwner[1].load(), kYatNoOwner);
}

TEST_F(RouteTest, TheOtherKindKeepsTheEnableAndTheOwner) {
  ASSERT_EQ(RouteEvent(board(), 0, 0x6, 4, kYatRouteKernel, true), QELHW_OK);
  ASSERT_EQ(RouteEvent(board(), 0, 0x6, 4, kYatRouteMessages, true), QELHW_OK);
  ASSERT_EQ(RouteEvent(board(), 0, 0x6, 4, kYatRouteMessages, false), QELHW_OK);
  EXPECT_EQ(fake_.Reg(0x418) & 0x30000, 0x30000u);
  EXPECT_EQ(fake_.routing->channelEventOwner[0].load(), 4u);
  ASSERT_EQ(RouteEvent(board(), 0, 0x6, 4, kYatRouteKernel, false), QELHW_OK);
  EXPECT_EQ(fake_.Reg(0x418) & 0x30000, 0u);
  EXPECT_EQ(fake_.routing->channelEventOwner[0].load(), kYatNoOwner);
}

TEST_F(RouteTest, AFailingRegisterEndsTheWalkKeepingWhatWasDone) {
  fake_.failing.insert(0x116C);
  EXPECT_EQ(RouteEvent(board(), 0, 0x200 | 0x1000000, 1, kYatRouteMessages, true), QELHW_ERROR_RESOURCE_RANGE);
  EXPECT_EQ(fake_.routing->channelMessageMask[0].load(), 0x200u);
  EXPECT_EQ(fake_.routing->channelEventOwner[0].load(), 1u);
}

TEST_F(RouteTest, FieldEventsStayOffWithoutAFieldMode) {
  ASSERT_EQ(RouteEvent(board(), 0, 0x10000, 1, kYatRouteMessages, true), QELHW_OK);
  EXPECT_EQ(fake_.Reg(0x116C) & (1u << 7), 0u);
  EXPECT_EQ(fake_.routing->channelMessageMask[0].load(), 0x10000u);
  fake_.routing->fields[0].fieldMode = 1;
  ASSERT_EQ(RouteEvent(board(), 0, 0x10000, 1, kYatRouteMessages, true), QELHW_OK);
  EXPECT_EQ(fake_.Reg(0x116C) & (1u << 7), 1u << 7);
}

TEST_F(RouteTest, ASlotsCloseReleasesEveryRouteItHeld) {
  ASSERT_EQ(RouteEvent(board(), 1, 0x4000000, 2, kYatRouteMessages, true), QELHW_OK);
  ASSERT_EQ(RouteEvent(board(), 1, 0x6, 2, kYatRouteKernel, true), QELHW_OK);
  ASSERT_EQ(RouteEvent(board(), 0, 0x20, 3, kYatRouteMessages, true), QELHW_OK);
  fake_.routing->transferMessageOwner[4].store(2);
  fake_.routing->ioLineOwner[9].store(2);
  fake_.writes.clear();
  YatReleaseSlotRoutes(board(), 2);
  EXPECT_EQ(fake_.routing->channelEventOwner[1].load(), kYatNoOwner);
  EXPECT_EQ(fake_.Reg(0x156C) & 1u, 0u);
  EXPECT_EQ(fake_.Reg(0x418) & 0xC0000, 0u);
  EXPECT_EQ(fake_.routing->transferMessageOwner[4].load(), kYatNoOwner);
  EXPECT_EQ(fake_.routing->ioLineOwner[9].load(), kYatNoOwner);
  EXPECT_EQ(fake_.writes.back(), std::make_pair(0x10014u, 0u));  // the message interrupt goes off
  EXPECT_EQ(fake_.routing->channelEventOwner[0].load(), 3u);      // another slot's route stays
}

}  // namespace
