#include "platform/board/host_messages.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kWindowEnd = kRegHostMessageWindow + kHostMessageWords * 4;

void latch_pending(InterruptBlock& interrupts) { interrupt_block_raise(interrupts, kRegHostDmaStatus, kHostDmaMessagePending); }

}  // namespace

bool host_messages_window_read(HostMessages& messages, std::uint32_t offset, std::uint32_t* value) {
  if (offset < kRegHostMessageWindow || offset >= kWindowEnd || offset % 4 != 0) return false;
  const std::uint32_t word = (offset - kRegHostMessageWindow) / 4;
  *value = messages.fifo.empty() ? 0 : messages.fifo.front()[word];
  if (word == kHostMessageWords - 1 && !messages.fifo.empty()) messages.fifo.pop_front();
  return true;
}

std::uint32_t host_dma_status_read(const HostMessages& messages, const InterruptBlock& interrupts) {
  std::uint32_t value = interrupts.host_dma_status & kHostDmaMessagePending;
  if (messages.interrupt_enabled) value |= kHostMessageInterruptEnable;
  if (messages.fifo.empty()) value |= kHostDmaQueueEmpty;
  return value;
}

void host_dma_status_write(HostMessages& messages, InterruptBlock& interrupts, std::uint32_t value) {
  interrupt_block_write(interrupts, kRegHostDmaStatus, value & kHostDmaMessagePending);
  if ((value & kHostMessageWindowReset) != 0) messages.fifo.clear();
  const bool enable = (value & kHostMessageInterruptEnable) != 0;
  if (enable && !messages.interrupt_enabled && !messages.fifo.empty()) latch_pending(interrupts);
  if (!enable) interrupt_block_write(interrupts, kRegHostDmaStatus, kHostDmaMessagePending);
  messages.interrupt_enabled = enable;
}

bool host_messages_post(HostMessages& messages, InterruptBlock& interrupts, const HostMessage& message) {
  if (messages.fifo.size() >= kHostMessageCapacity) return false;
  messages.fifo.push_back(message);
  if (messages.interrupt_enabled) latch_pending(interrupts);
  return true;
}

void host_messages_reset(HostMessages& messages) {
  messages.fifo.clear();
  messages.interrupt_enabled = false;
}

}  // namespace plat::board
