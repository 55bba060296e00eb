// Host messages: the host DMA engine reports its progress as messages of
// eight 32-bit words in a FIFO that the driver reads through the message
// window. Word 0 as the board writes it: bits 0..16 the buffer position,
// bits 17..19 the camera slot (the index of the driver's transfer route),
// bits 24..29 the host DMA channel (8 and up for the second plane).
//
// Registers (BAR 0 offsets):
// - 0x15000..0x1501C message window: the eight words of the oldest message
//   (zeros when the FIFO is empty); reading the last word takes the message
//   off the FIFO, so a block read of the window reads one message.
// - 0x10014 host DMA status, the message bits:
//   bit 0 message interrupt enable (read/write);
//   bit 1 window reset: writing 1 empties the FIFO (reads 0);
//   bit 2 FIFO empty (read-only);
//   bit 7 pending (interrupt_block.h): latched when a message arrives while
//   the interrupt is enabled, or when the interrupt is enabled with messages
//   waiting; write-one-to-clear; disabling the interrupt clears it.
// The FIFO holds kHostMessageCapacity messages; a message posted to a full
// FIFO is refused (the engine would stall; the model reports it instead).
#pragma once

#include <array>
#include <cstdint>
#include <deque>

#include "platform/board/interrupt_block.h"

namespace plat::board {

inline constexpr std::uint32_t kRegHostMessageWindow = 0x15000;
inline constexpr std::uint32_t kHostMessageWords = 8;
inline constexpr std::uint32_t kHostMessageCapacity = 512;

inline constexpr std::uint32_t kHostMessageInterruptEnable = 0x1;
inline constexpr std::uint32_t kHostMessageWindowReset = 0x2;

using HostMessage = std::array<std::uint32_t, kHostMessageWords>;

struct HostMessages {
  std::deque<HostMessage> fifo;
  bool interrupt_enabled = false;
};

// The message window; false when the offset is not in it.
bool host_messages_window_read(HostMessages& messages, std::uint32_t offset, std::uint32_t* value);

// Register 0x10014, whose pending bit lives in the interrupt block.
std::uint32_t host_dma_status_read(const HostMessages& messages, const InterruptBlock& interrupts);
void host_dma_status_write(HostMessages& messages, InterruptBlock& interrupts, std::uint32_t value);

// The engine (or a test) posts a message; false when the FIFO is full.
bool host_messages_post(HostMessages& messages, InterruptBlock& interrupts, const HostMessage& message);

// Power-on and board reset: empty, interrupt off.
void host_messages_reset(HostMessages& messages);

}  // namespace plat::board
