// The message queues alone: append, fetch, lost counts, the present bit, the merge.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "driver/kernel/MsgQueue.h"

namespace {

class MsgQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { InitMsgQueueTable(rows_.get(), 2); }
  void TearDown() override { FreeMsgQueueTable(rows_.get(), 2); }

  YatMsgQueue* channelQueue() { return &rows_[1][YAT_MSG_TYPE_CHANNEL]; }

  static const YatChannelMessage* Tmp(const YatChannelMessage& m) { return &m; }
  static YatChannelMessage Numbered(std::uint32_t n) { return {n, n * 2, n * 3ull, 0}; }

  std::unique_ptr<YatMsgQueueRow[]> rows_ = std::make_unique<YatMsgQueueRow[]>(2);
};

TEST_F(MsgQueueTest, EveryTypeGetsItsRingAndEntrySize) {
  const std::uint32_t expected[] = {20, 40, 32, 4, 32, 20, 20, 20, 20};
  for (std::uint32_t type = 0; type < YAT_MSG_QUEUE_COUNT; ++type) {
    EXPECT_EQ(rows_[0][type].entrySize, expected[type]) << "type " << type;
    EXPECT_NE(rows_[0][type].ring, nullptr) << "type " << type;
    EXPECT_EQ(rows_[0][type].event, nullptr);
  }
}

TEST_F(MsgQueueTest, FetchHandsOutTheOldestRecordWithThePresentBit) {
  for (std::uint32_t n = 1; n <= 3; ++n) ASSERT_EQ(AddMsgToFifo(channelQueue(), Tmp(Numbered(n))), QELHW_OK);
  for (std::uint32_t n = 1; n <= 3; ++n) {
    YatChannelMessage out{};
    ASSERT_EQ(GetMessageEvent(channelQueue(), &out, false), QELHW_OK);
    EXPECT_EQ(out.eventBit, n);
    EXPECT_EQ(out.channelStatus, n * 2);
    EXPECT_EQ(std::uint64_t{out.timeStamp}, n * 3ull);
    EXPECT_EQ(out.tag, YAT_MSG_PRESENT);
  }
}

TEST_F(MsgQueueTest, EmptyFetchGivesAZeroRecordAndSuccess) {
  std::uint8_t out[40];
  std::memset(out, 0xAB, sizeof out);
  ASSERT_EQ(GetMessageEvent(&rows_[0][YAT_MSG_TYPE_TRANSFER], out, false), QELHW_OK);
  for (std::uint8_t byte : out) EXPECT_EQ(byte, 0);
}

TEST_F(MsgQueueTest, AFullQueueDropsAndTheNextFetchCountsTheLoss) {
  for (std::uint32_t n = 0; n < 1024; ++n) ASSERT_EQ(AddMsgToFifo(channelQueue(), Tmp(Numbered(n))), QELHW_OK);
  EXPECT_EQ(channelQueue()->lostCount, 1u);
  YatChannelMessage out{};
  ASSERT_EQ(GetMessageEvent(channelQueue(), &out, false), QELHW_OK);
  EXPECT_EQ(out.eventBit, 0u);
  EXPECT_EQ(out.tag >> 24, 1u);
  EXPECT_NE(out.tag & YAT_MSG_PRESENT, 0u);
  ASSERT_EQ(GetMessageEvent(channelQueue(), &out, false), QELHW_OK);
  EXPECT_EQ(out.tag >> 24, 0u);
  // 1022 records remain: the 1024th was the one dropped.
  std::uint32_t remaining = 1;
  while (GetMessageEvent(channelQueue(), &out, false) == QELHW_OK && (out.tag & YAT_MSG_PRESENT) != 0) ++remaining;
  EXPECT_EQ(remaining, 1022u);
}

TEST_F(MsgQueueTest, LostCountSaturatesAt255AndStartsAgain) {
  for (std::uint32_t n = 0; n < 1023 + 300; ++n) AddMsgToFifo(channelQueue(), Tmp(Numbered(n)));
  YatChannelMessage out{};
  GetMessageEvent(channelQueue(), &out, false);
  EXPECT_EQ(out.tag >> 24, 255u);
  EXPECT_EQ(channelQueue()->lostCount, 0u);
}

TEST_F(MsgQueueTest, IndicesWrapWithoutLosingARecord) {
  YatChannelMessage out{};
  for (std::uint32_t n = 0; n < 3000; ++n) {
    ASSERT_EQ(AddMsgToFifo(channelQueue(), Tmp(Numbered(n))), QELHW_OK);
    ASSERT_EQ(GetMessageEvent(channelQueue(), &out, false), QELHW_OK);
    ASSERT_EQ(out.eventBit, n);
  }
  EXPECT_EQ(channelQueue()->lostCount, 0u);
}

bool AlwaysMerge(const void*, const void*) { return true; }

TEST_F(MsgQueueTest, MergeReplacesOnlyTheNewestUnreadRecord) {
  YatMsgQueue* queue = channelQueue();
  EXPECT_FALSE(ReplaceNewestMessage(queue, Tmp(Numbered(9)), AlwaysMerge));  // empty: the caller appends
  AddMsgToFifo(queue, Tmp(Numbered(1)));
  YatChannelMessage out{};
  GetMessageEvent(queue, &out, false);
  EXPECT_FALSE(ReplaceNewestMessage(queue, Tmp(Numbered(9)), AlwaysMerge));  // the consumed record stays as it was
  AddMsgToFifo(queue, Tmp(Numbered(2)));
  AddMsgToFifo(queue, Tmp(Numbered(3)));
  EXPECT_TRUE(ReplaceNewestMessage(queue, Tmp(Numbered(4)), AlwaysMerge));
  GetMessageEvent(queue, &out, false);
  EXPECT_EQ(out.eventBit, 2u);
  GetMessageEvent(queue, &out, false);
  EXPECT_EQ(out.eventBit, 4u);
  GetMessageEvent(queue, &out, false);
  EXPECT_EQ(out.tag, 0u);
}

TEST_F(MsgQueueTest, ResetAndAttachEmptyTheQueue) {
  AddMsgToFifo(channelQueue(), Tmp(Numbered(1)));
  ResetMsgQueue(channelQueue());
  YatChannelMessage out{};
  GetMessageEvent(channelQueue(), &out, false);
  EXPECT_EQ(out.tag, 0u);
  AddMsgToFifo(channelQueue(), Tmp(Numbered(1)));
  AttachQueueEvent(channelQueue(), nullptr);
  GetMessageEvent(channelQueue(), &out, false);
  EXPECT_EQ(out.tag, 0u);
}

TEST_F(MsgQueueTest, AQueueWithoutRingRefusesBothWays) {
  YatMsgQueue* queue = channelQueue();
  std::uint8_t* ring = queue->ring;
  queue->ring = nullptr;
  YatChannelMessage out{};
  EXPECT_EQ(AddMsgToFifo(queue, &out), QELHW_ERROR_INSUFFICIENT_MEMORY);
  EXPECT_EQ(GetMessageEvent(queue, &out, false), QELHW_ERROR_INSUFFICIENT_MEMORY);
  EXPECT_EQ(AddMsgToFifo(nullptr, &out), QELHW_ERROR_NULL_PTR);
  queue->ring = ring;
}

}  // namespace
