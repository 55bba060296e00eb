// The decoder against a board whose registers are a map: which source gives
// which record in which queue, and how host messages are flagged, split and merged.
#include <gtest/gtest.h>

#include "driver/kernel/tests/MsgFakeBoard.h"

namespace {

constexpr std::uint32_t kOwner = 5;
constexpr std::uint32_t kBoardBits = 3 << 4;  // the fake board sits in slot 3

class DecodeTest : public ::testing::Test {
 protected:
  void RouteChannel(std::uint32_t channel, std::uint32_t bits, std::uint32_t kind = kYatRouteMessages) {
    ASSERT_EQ(RouteEvent(fake_.board.get(), channel, bits, kOwner, kind, true), QELHW_OK);
  }
  YatChannelMessage FetchChannel(std::uint32_t row = kOwner, std::uint32_t type = YAT_MSG_TYPE_CHANNEL) {
    YatChannelMessage out{};
    EXPECT_EQ(GetMessageEvent(fake_.Queue(row, type), &out, false), QELHW_OK);
    return out;
  }
  YatTransferMessage FetchTransfer() {
    YatTransferMessage out{};
    EXPECT_EQ(GetMessageEvent(fake_.Queue(kOwner, YAT_MSG_TYPE_TRANSFER), &out, false), QELHW_OK);
    return out;
  }
  void PostHostMessage(std::uint32_t word0, std::uint32_t word1, std::uint32_t word3 = 0) {
    fake_.hostMessage = {word0, word1, 0, word3, 0, 0x55, 0x66, 0x77};
    ASSERT_EQ(DecodeInterruptMessages(fake_.board.get(), 256), QELHW_OK);
  }
  YatBoardExtension* board() { return fake_.board.get(); }

  MsgFakeBoard fake_;
};

struct ChannelCase {
  std::uint32_t source;
  std::uint32_t channel;
  std::uint32_t eventBit;
  bool stamped;
  std::uint32_t tagExtra;
};

TEST_F(DecodeTest, ChannelSourcesGiveTheirRecord) {
  const ChannelCase cases[] = {
      {267, 0, 0x4000000, true, 0},  {272, 1, 0x1000000, true, 0},   {353, 1, 0x8, false, 0},
      {371, 3, 0x10, false, 0},      {417, 1, 0x20, false, 0},       {422, 2, 0x80000, true, 0},
      {424, 0, 0x800000, true, 0},   {430, 2, 0x2000000, false, 0},  {449, 1, 0x10, false, 1u << 8},
      {452, 0, 0x10, false, 1u << 9}, {577, 1, 0x2000, false, 577u * 256}, {592, 0, 0x4000, false, 592u * 256},
      {609, 1, 0x400, false, 609u * 256},
  };
  for (const ChannelCase& c : cases) {
    SCOPED_TRACE(c.source);
    fake_.registers[0x106C + c.channel * 0x400] = 0xC0DE0000 | c.source;
    RouteChannel(c.channel, c.eventBit);
    ASSERT_EQ(DecodeInterruptMessages(board(), c.source), QELHW_OK);
    YatChannelMessage out = FetchChannel();
    EXPECT_EQ(out.eventBit, c.eventBit);
    EXPECT_EQ(out.channelStatus, 0xC0DE0000 | c.source);
    EXPECT_EQ(std::uint64_t{out.timeStamp} != 0, c.stamped);
    EXPECT_EQ(out.tag, (c.tagExtra ? c.tagExtra : 0) + kBoardBits + c.channel + YAT_MSG_PRESENT);
    ASSERT_EQ(RouteEvent(board(), c.channel, c.eventBit, kOwner, kYatRouteMessages, false), QELHW_OK);
  }
}

TEST_F(DecodeTest, UnroutedOrUnknownSourcesDeliverNothing) {
  for (std::uint32_t source : {267u, 300u, 700u, 257u}) EXPECT_EQ(DecodeInterruptMessages(board(), source), QELHW_OK);
  RouteChannel(0, 0x30000);
  EXPECT_EQ(DecodeInterruptMessages(board(), 432), QELHW_OK);  // field mode 0
  EXPECT_EQ(FetchChannel().tag, 0u);
  fake_.routing->fields[0].fieldMode = 1;
  EXPECT_EQ(DecodeInterruptMessages(board(), 432), QELHW_OK);
  EXPECT_EQ(FetchChannel().eventBit, 0x30000u);
}

TEST_F(DecodeTest, PixelClockEventsRunTheKernelActionAndTheMessage) {
  RouteChannel(0, 0x6, kYatRouteKernel);
  RouteChannel(0, 0x6);
  fake_.registers[0x418] |= 0x1;  // camera 0's clock is present
  ASSERT_EQ(DecodeInterruptMessages(board(), 258), QELHW_OK);
  ASSERT_EQ(fake_.acqActions.size(), 1u);
  EXPECT_EQ(fake_.acqActions[0], std::make_pair(0u, 0x4u));
  YatChannelMessage out = FetchChannel();
  EXPECT_EQ(out.eventBit, 0x4u);
  EXPECT_EQ(out.channelStatus, 0u);
  fake_.registers[0x418] &= ~0x1u;
  ASSERT_EQ(DecodeInterruptMessages(board(), 258), QELHW_OK);
  EXPECT_EQ(FetchChannel().eventBit, 0x2u);
}

TEST_F(DecodeTest, TimeStampSourcesAreCopiedToTheChannelsStampQueue) {
  fake_.routing->fields[1].notificationMode = 1;
  fake_.routing->fields[1].notificationMask = 0x1000000;
  fake_.stamps[1] = 777;
  RouteChannel(1, 0x1000000);
  ASSERT_EQ(DecodeInterruptMessages(board(), 272), QELHW_OK);
  EXPECT_NE(std::uint64_t{FetchChannel().timeStamp}, 777u);
  YatChannelMessage copy = FetchChannel(3, YAT_MSG_TIMESTAMP_QUEUE + 1);  // row of board slot 3
  EXPECT_EQ(std::uint64_t{copy.timeStamp}, 777u);
  EXPECT_EQ(copy.eventBit, 0x1000000u);
}

TEST_F(DecodeTest, IoLineSourcesGoToTheLineOwner) {
  fake_.routing->ioLineOwner[2].store(kOwner);
  fake_.routing->ioLineOwner[8 + 1].store(kOwner);
  fake_.registers[0x820] = 1u << 22;
  ASSERT_EQ(DecodeInterruptMessages(board(), 322), QELHW_OK);
  ASSERT_EQ(YatIoLineDispatch(board(), 0x2), QELHW_OK);  // line 1 of the second unit, level clear
  YatIoLineMessage out{};
  GetMessageEvent(fake_.Queue(kOwner, YAT_MSG_TYPE_IO_LINE), &out, false);
  EXPECT_EQ(out.size, 32u);
  EXPECT_EQ(out.kind, 0u);
  EXPECT_EQ(out.level, 1u);
  EXPECT_EQ(out.line, 2u);
  EXPECT_EQ(out.tag, kBoardBits | YAT_MSG_PRESENT);
  GetMessageEvent(fake_.Queue(kOwner, YAT_MSG_TYPE_IO_LINE), &out, false);
  EXPECT_EQ(out.level, 2u);
  EXPECT_EQ(out.line, 1u);
  EXPECT_EQ(out.tag, kBoardBits | 1u | YAT_MSG_PRESENT);
}

constexpr std::uint32_t Word0(std::uint32_t position, std::uint32_t slot, std::uint32_t hostChannel) {
  return position | slot << 17 | hostChannel << 24;
}

TEST_F(DecodeTest, HostMessagesReachTheRouteOwnerWithFlags) {
  fake_.routing->transferMessageOwner[2].store(kOwner);
  PostHostMessage(Word0(100, 2, 1), 1u << 12 | 1u << 15);  // start
  PostHostMessage(Word0(200, 2, 1), 1u << 13, 64);          // end
  PostHostMessage(Word0(300, 4, 1), 1u << 13);              // slot 4 is not routed
  YatTransferMessage start = FetchTransfer();
  EXPECT_EQ(start.word0, Word0(100, 2, 1));
  EXPECT_EQ(start.flags, 1u << 19 | 1u << 29);
  EXPECT_EQ(std::uint64_t{start.words56}, 0x6600000055ull);
  EXPECT_EQ(start.word7, 0x77u);
  EXPECT_EQ(start.tag, 2u + kBoardBits + YAT_MSG_PRESENT);
  YatTransferMessage end = FetchTransfer();
  EXPECT_EQ(end.flags, 1u << 23);
  EXPECT_EQ(end.word3, 64u);
  EXPECT_EQ(FetchTransfer().tag, 0u);
}

TEST_F(DecodeTest, SplitRuleBringsTheSecondPlaneBack) {
  fake_.routing->transferMessageOwner[0].store(kOwner);
  fake_.routing->fields[0].bhChannelCount = 2;
  PostHostMessage(Word0(7, 0, 9), 1u << 9 | 1u << 12 | 1u << 13 | 1u << 20 | 1u << 1);
  YatTransferMessage out = FetchTransfer();
  EXPECT_EQ((out.word0 >> 24) & 0x3F, 1u);
  EXPECT_EQ(out.word1, 1u << 1);
  EXPECT_EQ(out.flags, 0u);
}

TEST_F(DecodeTest, FieldModeFlagsFollowTheHalfAndTheToggle) {
  fake_.routing->transferMessageOwner[0].store(kOwner);
  fake_.routing->fields[0].fieldMode = 1;
  PostHostMessage(Word0(10, 0, 8), 1u << 12);               // start, first half, toggle 0
  PostHostMessage(Word0(20, 0, 0), 1u << 12);               // start, second half, toggle 1
  PostHostMessage(Word0(30, 0, 0), 1u << 13 | 1u << 20, 5);  // end with the last field
  EXPECT_EQ(FetchTransfer().flags, 1u << 16 | 1u << 17 | 1u << 19);
  EXPECT_EQ(FetchTransfer().flags, 1u << 16 | 1u << 18);
  YatTransferMessage end = FetchTransfer();
  EXPECT_EQ(end.flags, 1u << 20 | 1u << 22 | 1u << 23);
  EXPECT_EQ(end.word3, 10u);  // doubled for the field mode
  EXPECT_EQ(fake_.routing->fields[0].lastStartPosition, 20u);
}

TEST_F(DecodeTest, ProgressMessagesMergeOnlyWhileUnread) {
  fake_.routing->transferMessageOwner[1].store(kOwner);
  const std::uint32_t progress = 3;
  PostHostMessage(Word0(1, 1, 0), progress);
  PostHostMessage(Word0(2, 1, 0), progress);  // replaces the first
  EXPECT_EQ(FetchTransfer().word0 & 0x1FFFF, 2u);
  PostHostMessage(Word0(3, 1, 0), progress);  // the first was read: appended
  PostHostMessage(Word0(4, 1, 0), 1u << 13);  // an end never merges
  EXPECT_EQ(FetchTransfer().word0 & 0x1FFFF, 3u);
  EXPECT_EQ(FetchTransfer().word0 & 0x1FFFF, 4u);
  EXPECT_EQ(FetchTransfer().tag, 0u);
}

TEST_F(DecodeTest, NotifiedEndCarriesTheOldestStamp) {
  fake_.routing->transferMessageOwner[1].store(kOwner);
  fake_.routing->fields[1].notificationMode = 7;
  fake_.routing->fields[1].notificationMask = 1u << 23 | 1u << 19;
  YatChannelMessage earlier{0, 0, 4242, 0};
  AddMsgToFifo(fake_.Queue(3, YAT_MSG_TIMESTAMP_QUEUE + 1), &earlier);
  PostHostMessage(Word0(1, 1, 0), 1u << 13);
  EXPECT_EQ(std::uint64_t{FetchTransfer().words56}, 4242u);
}

TEST_F(DecodeTest, AbortMessageDropsTheKernelRoute) {
  fake_.routing->transferMessageOwner[0].store(kOwner);
  RouteChannel(0, 0x6, kYatRouteKernel);
  PostHostMessage(Word0(0, 0, 0), 1u << 9);
  EXPECT_EQ(fake_.routing->channelKernelMask[0].load(), 0u);
  EXPECT_EQ(fake_.routing->channelEventOwner[0].load(), kYatNoOwner);
  EXPECT_EQ(FetchTransfer().flags, 1u << 31);
}

TEST_F(DecodeTest, AFailingReadEndsTheSource) {
  RouteChannel(0, 0x4000000);
  fake_.failing.insert(0x106C);
  EXPECT_EQ(DecodeInterruptMessages(board(), 267), QELHW_ERROR_RESOURCE_RANGE);
  fake_.failing = {0x15000};
  fake_.routing->transferMessageOwner[0].store(kOwner);
  EXPECT_EQ(DecodeInterruptMessages(board(), 256), QELHW_ERROR_RESOURCE_RANGE);
  EXPECT_EQ(FetchChannel().tag, 0u);
}

}  // namespace
