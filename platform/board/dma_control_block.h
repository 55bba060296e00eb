// DMA control (block 64), the part the driver touches at start and close:
// - 0x10010 DMA enables: bit 0 host DMA, bit 1 on-board DMA. Stored; the
//   engines that honour them come with the DMA model.
// - 0x10018 DMA controller version, read-only. A readable value tells the
//   driver the configuration firmware is recent enough for its master
//   interrupt enable.
// The host DMA status 0x10014 is an interrupt status (interrupt_block.h).
#pragma once

#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegDmaEnables = 0x10010;
inline constexpr std::uint32_t kRegDmaControllerVersion = 0x10018;

inline constexpr std::uint32_t kDmaEnableHost = 0x1;
inline constexpr std::uint32_t kDmaEnableOnBoard = 0x2;
// A controller that keeps a host buffer's armed bit in word 0 of its entry.
inline constexpr std::uint32_t kDmaControllerVersion = 0x42010000;

struct DmaControlBlock {
  std::uint32_t enables = 0;
};

bool dma_control_block_read(const DmaControlBlock& block, std::uint32_t offset, std::uint32_t* value);
bool dma_control_block_write(DmaControlBlock& block, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
