#include "platform/board/dma_control_block.h"

namespace plat::board {

bool dma_control_block_read(const DmaControlBlock& block, std::uint32_t offset, std::uint32_t* value) {
  switch (offset) {
    case kRegDmaEnables: *value = block.enables; return true;
    case kRegDmaControllerVersion: *value = kDmaControllerVersion; return true;
    default: return false;
  }
}

bool dma_control_block_write(DmaControlBlock& block, std::uint32_t offset, std::uint32_t value) {
  switch (offset) {
    case kRegDmaEnables: block.enables = value & (kDmaEnableHost | kDmaEnableOnBoard); return true;
    case kRegDmaControllerVersion: return true;
    default: return false;
  }
}

}  // namespace plat::board
