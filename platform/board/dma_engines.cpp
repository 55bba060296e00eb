#include "platform/board/dma_engines.h"

namespace plat::board {

namespace {

struct BlockAt {
  DmaChannelState* channel;
  std::uint32_t word;
};

bool locate(DmaEngines& engines, std::uint32_t offset, BlockAt* at) {
  struct Bank {
    std::uint32_t base, count;
    DmaChannelState* channels;
  };
  const Bank banks[] = {{kAlBlocks, kLocalDmaChannels, engines.al.data()},
                        {kLbBlocks, kLocalDmaChannels, engines.lb.data()},
                        {kBhBlocks, kHostDmaChannels, engines.bh.data()}};
  if (offset % 4 != 0) return false;
  for (const Bank& bank : banks) {
    if (offset < bank.base || offset >= bank.base + bank.count * kDmaBlockStride) continue;
    *at = BlockAt{&bank.channels[(offset - bank.base) / kDmaBlockStride], (offset - bank.base) % kDmaBlockStride / 4};
    return true;
  }
  return false;
}

// The AL and LB channels (bit c, LB 8 + c) whose two control bits are set.
std::uint32_t running_channels(std::uint32_t control) { return control & (control >> 16) & 0xFFFF; }

}  // namespace

bool dma_engines_stop_channel(const DmaEngines& engines, std::uint32_t offset, std::uint32_t value) {
  return offset == kRegDmaChannelControl &&
         (running_channels(engines.channel_control) & ~running_channels(value)) != 0;
}

bool dma_engines_read(const DmaEngines& engines, std::uint32_t offset, std::uint32_t* value) {
  if (offset == kRegDmaChannelControl) {
    *value = engines.channel_control;
    return true;
  }
  BlockAt at{};
  if (!locate(const_cast<DmaEngines&>(engines), offset, &at)) return false;
  *value = at.word == kDmaStatusWord ? 0 : at.channel->words[at.word];
  return true;
}

bool dma_engines_write(DmaEngines& engines, std::uint32_t offset, std::uint32_t value) {
  if (offset == kRegDmaChannelControl) {
    engines.channel_control = value;
    return true;
  }
  BlockAt at{};
  if (!locate(engines, offset, &at)) return false;
  at.channel->words[at.word] = value;
  if (at.word == kDmaStartWord) {
    at.channel->current = value;
    at.channel->loaded = true;
  }
  return true;
}

}  // namespace plat::board
