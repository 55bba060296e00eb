// The host-message FIFO and the message bits of the host DMA status.
#include <gtest/gtest.h>

#include "platform/board/host_messages.h"

namespace plat::board {
namespace {

HostMessage Numbered(std::uint32_t n) { return {n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7}; }

HostMessage ReadWindow(HostMessages& messages) {
  HostMessage out{};
  for (std::uint32_t i = 0; i < kHostMessageWords; ++i)
    EXPECT_TRUE(host_messages_window_read(messages, kRegHostMessageWindow + 4 * i, &out[i]));
  return out;
}

TEST(HostMessages, TheWindowReadsMessagesInOrderAndTheEmptyBitFollows) {
  HostMessages messages;
  InterruptBlock interrupts;
  EXPECT_EQ(host_dma_status_read(messages, interrupts), kHostDmaQueueEmpty);
  ASSERT_TRUE(host_messages_post(messages, interrupts, Numbered(10)));
  ASSERT_TRUE(host_messages_post(messages, interrupts, Numbered(20)));
  EXPECT_EQ(host_dma_status_read(messages, interrupts) & kHostDmaQueueEmpty, 0u);
  EXPECT_EQ(ReadWindow(messages), Numbered(10));
  EXPECT_EQ(ReadWindow(messages), Numbered(20));
  EXPECT_EQ(host_dma_status_read(messages, interrupts) & kHostDmaQueueEmpty, kHostDmaQueueEmpty);
  EXPECT_EQ(ReadWindow(messages), HostMessage{});
  std::uint32_t value = 0;
  EXPECT_FALSE(host_messages_window_read(messages, kRegHostMessageWindow + 32, &value));
}

TEST(HostMessages, PendingLatchesOnlyWhileTheInterruptIsEnabled) {
  HostMessages messages;
  InterruptBlock interrupts;
  interrupts.mask = kMaskMasterEnable;
  host_messages_post(messages, interrupts, Numbered(1));
  EXPECT_FALSE(interrupt_block_requests(interrupts));
  host_dma_status_write(messages, interrupts, kHostMessageInterruptEnable);  // enabled with a message waiting
  EXPECT_EQ(host_dma_status_read(messages, interrupts), kHostMessageInterruptEnable | kHostDmaMessagePending);
  EXPECT_TRUE(interrupt_block_requests(interrupts));
  // The interrupt routine writes back what it read: pending clears, the enable stays.
  host_dma_status_write(messages, interrupts, kHostMessageInterruptEnable | kHostDmaMessagePending);
  EXPECT_FALSE(interrupt_block_requests(interrupts));
  host_messages_post(messages, interrupts, Numbered(2));
  EXPECT_TRUE(interrupt_block_requests(interrupts));
}

TEST(HostMessages, WindowResetEmptiesAndDisablingDropsPending) {
  HostMessages messages;
  InterruptBlock interrupts;
  host_dma_status_write(messages, interrupts, kHostMessageInterruptEnable);
  host_messages_post(messages, interrupts, Numbered(1));
  host_dma_status_write(messages, interrupts, kHostMessageWindowReset);
  host_dma_status_write(messages, interrupts, 0);
  EXPECT_EQ(host_dma_status_read(messages, interrupts), kHostDmaQueueEmpty);
}

TEST(HostMessages, AFullFifoRefusesTheMessage) {
  HostMessages messages;
  InterruptBlock interrupts;
  for (std::uint32_t n = 0; n < kHostMessageCapacity; ++n) ASSERT_TRUE(host_messages_post(messages, interrupts, Numbered(n)));
  EXPECT_FALSE(host_messages_post(messages, interrupts, Numbered(0)));
}

}  // namespace
}  // namespace plat::board
