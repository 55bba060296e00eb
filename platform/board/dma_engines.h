// The board's three DMA engines and their registers:
// - AL (acquisition to on-board memory), 8 channels: a camera frame at an
//   acquisition channel's input is written along the AL chain of every
//   running AL channel whose current buffer-list entry names that camera.
// - LB (on-board memory onward), 8 channels: after the AL engines, the LB
//   chain of every running LB channel of that camera is read and each piece
//   goes to the host DMA channels of its descriptor's channel mask; a piece
//   whose mask is 0 goes nowhere.
// - BH (to host memory), 16 channels: what LB sends to a host channel is
//   written along the host descriptors of the channel's current entry in
//   host memory (one write per contiguous run of the frame).
//
// Registers (BAR 0):
// - 0x428 DMA channel control: AL channel c runs while bits c and 16 + c are
//   set, LB channel c while bits 8 + c and 24 + c are set. A write that stops
//   a running channel takes effect once the frames that ended while it ran
//   have gone through (grab_worker.h).
// - Channel blocks of 16 words: AL 0x7000 + c x 0x40, LB 0x7800 + c x 0x40,
//   BH 0x16000 + c x 0x40. Word 0x1C is the start entry: writing it loads the
//   channel's current entry (an on-board address for AL and LB, a bus
//   address for BH). Word 0x18 is the channel status; the model moves a
//   frame within the call that brings it, so the status always reads 0
//   (idle). Other words read back as written.
// - 0x10010 (dma_control_block.h): the BH engines run while bit 1 is set.
//
// Buffer-list entries are the driver's 32-byte entries: word 0 the buffer
// (AL, LB: its on-board address; BH: bit 31 armed), word 1 (and word 3 for
// BH, the high half) the first descriptor, word 2 the control word (bits
// 0..16 buffer index, 17..19 camera, 25..26 cycle mode, 27 end message),
// word 7 the next entry. AL and LB descriptor addresses are offsets into the
// entry's buffer.
//
// What the model chooses where the driver leaves the hardware open:
// - An LB descriptor's address is an offset into its entry's buffer (added
//   in a 32-bit adder, so an address below the buffer wraps) for image
//   pieces (kind 0x10) and pieces of no kind; the extra pieces (inserts of
//   kind 8 and 0x4000, camera inserts of kind 1 and 0x100) name an on-board
//   buffer of their own and read from their address as it stands. A camera
//   insert is a one-line header in front of the frame: the driver's chain
//   names its piece on every window line, and the model sends only its runs
//   that come before the frame's first image run. An image
//   piece beyond the lines a frame wrote (a camera shorter than the window)
//   carries nothing of it, so the host buffer gets a short frame.
// - BH cycle mode 0 fills whatever buffer comes next; modes 1..3 fill only an
//   armed entry (word 0 bit 31) and drop the frame otherwise, staying on it.
//   Filling a buffer clears its armed bit. A chain ends at the descriptor
//   that closes the region's last line, or where it closes on its head.
// - Host messages (host_messages.h): a start message (word 1 bit 12) when
//   the buffer's first descriptor asks for a frame-start notification (bit
//   16), and an end message (word 1 bit 13; word 2 the bytes of a line,
//   word 3 the lines written, fewer than the buffer's for a short frame,
//   word 4 the frame's end stamp as 0x106C reads it) when the entry's
//   control bit 27 is set; word 0 carries the entry's buffer
//   index and camera and the host channel in bits 24..29; kind 1.
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegDmaChannelControl = 0x428;
inline constexpr std::uint32_t kAlBlocks = 0x7000;
inline constexpr std::uint32_t kLbBlocks = 0x7800;
inline constexpr std::uint32_t kBhBlocks = 0x16000;
inline constexpr std::uint32_t kDmaBlockStride = 0x40;
inline constexpr std::uint32_t kDmaBlockWords = 16;
inline constexpr std::uint32_t kDmaStatusWord = 0x18 / 4;
inline constexpr std::uint32_t kDmaStartWord = 0x1C / 4;
inline constexpr std::uint32_t kLocalDmaChannels = 8;
inline constexpr std::uint32_t kHostDmaChannels = 16;

struct DmaChannelState {
  std::array<std::uint32_t, kDmaBlockWords> words{};
  std::uint64_t current = 0;  // the entry the next frame starts from
  bool loaded = false;
};

struct DmaEngines {
  std::uint32_t channel_control = 0;
  std::array<DmaChannelState, kLocalDmaChannels> al{};
  std::array<DmaChannelState, kLocalDmaChannels> lb{};
  std::array<DmaChannelState, kHostDmaChannels> bh{};
  std::uint64_t frames = 0;   // frames that reached a host buffer
  std::uint64_t dropped = 0;  // frames a BH channel dropped (no armed buffer)
};

// Register access; false when the offset is not the engines'.
bool dma_engines_read(const DmaEngines& engines, std::uint32_t offset, std::uint32_t* value);
bool dma_engines_write(DmaEngines& engines, std::uint32_t offset, std::uint32_t value);
// The write would stop an AL or LB channel that runs now.
bool dma_engines_stop_channel(const DmaEngines& engines, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
