#include "platform/board/interrupt_block.h"

#include <array>

namespace plat::board {

namespace {

constexpr std::uint32_t kEventEnableWritable = 0xFFFF8000;
constexpr std::uint32_t kTransferEnableWritable = 0xFFFFFFF0;

// Main-status bits that have an enable, and where it lives.
struct MainEnable {
  std::uint32_t main_bit;
  std::uint32_t enable_register;
  std::uint32_t enable_bits;  // any of them enables
};
constexpr std::array kMainEnables{
    MainEnable{1u << 3, kRegEventEnables, 0x00030000},
    MainEnable{1u << 4, kRegEventEnables, 0x000C0000},
    MainEnable{1u << 7, kRegTransferEventEnables, 0x000A0000},
    MainEnable{1u << 9, kRegInterruptMask, 1u << 4},
    MainEnable{1u << 10, kRegInterruptMask, 1u << 8},
    MainEnable{1u << 18, kRegInterruptMask, 1u << 9},
    MainEnable{1u << 19, kRegInterruptMask, 1u << 10},
    MainEnable{1u << 20, kRegInterruptMask, 1u << 11},
};

std::uint32_t enable_register_value(const InterruptBlock& block, std::uint32_t offset) {
  switch (offset) {
    case kRegEventEnables: return block.event_enables;
    case kRegTransferEventEnables: return block.transfer_event_enables;
    default: return block.mask;
  }
}

std::uint32_t main_status_value(const InterruptBlock& block) {
  std::uint32_t value = block.main_status | block.level_bits;
  if (block.aux_a != 0) value |= kMainAuxASummary;
  if (block.aux_b != 0) value |= kMainAuxBSummary;
  return value;
}

}  // namespace

bool interrupt_block_read(const InterruptBlock& block, std::uint32_t offset, std::uint32_t* value) {
  switch (offset) {
    case kRegMainStatus: *value = main_status_value(block); return true;
    case kRegAuxStatusA: *value = block.aux_a; return true;
    case kRegAuxStatusB: *value = block.aux_b; return true;
    case kRegEventEnables: *value = block.event_enables; return true;
    case kRegTransferEventEnables: *value = block.transfer_event_enables; return true;
    case kRegInterruptMask: *value = block.mask; return true;
    case kRegMemoryRegionEvents: *value = block.memory_region_events; return true;
    case kRegHostDmaStatus: *value = block.host_dma_status | kHostDmaQueueEmpty; return true;
    default: return false;
  }
}

bool interrupt_block_write(InterruptBlock& block, std::uint32_t offset, std::uint32_t value) {
  switch (offset) {
    case kRegMainStatus: block.main_status &= ~value; return true;
    case kRegAuxStatusA: block.aux_a &= ~value; return true;
    case kRegAuxStatusB: block.aux_b &= ~value; return true;
    case kRegEventEnables: block.event_enables = value & kEventEnableWritable; return true;
    case kRegTransferEventEnables:
      block.transfer_event_enables = value & kTransferEnableWritable;
      return true;
    case kRegInterruptMask: block.mask = value; return true;
    case kRegMemoryRegionEvents: block.memory_region_events &= ~value; return true;
    case kRegHostDmaStatus: block.host_dma_status &= ~(value & kHostDmaMessagePending); return true;
    default: return false;
  }
}

bool interrupt_block_raise(InterruptBlock& block, std::uint32_t status_register, std::uint32_t bits) {
  switch (status_register) {
    case kRegMainStatus: block.main_status |= bits & ~(kMainAuxASummary | kMainAuxBSummary); return true;
    case kRegAuxStatusA: block.aux_a |= bits; return true;
    case kRegAuxStatusB: block.aux_b |= bits; return true;
    case kRegMemoryRegionEvents:
      block.memory_region_events |= bits;
      if (bits != 0) block.main_status |= kMainMemoryRegionEvent;
      return true;
    case kRegHostDmaStatus: block.host_dma_status |= bits & kHostDmaMessagePending; return true;
    default: return false;
  }
}

std::uint32_t interrupt_enabled_main_bits(const InterruptBlock& block) {
  std::uint32_t enabled = 0xFFFFFFFF;
  for (const MainEnable& entry : kMainEnables)
    if ((enable_register_value(block, entry.enable_register) & entry.enable_bits) == 0)
      enabled &= ~entry.main_bit;
  return enabled;
}

bool interrupt_block_requests(const InterruptBlock& block) {
  if ((block.mask & kMaskMasterEnable) == 0) return false;
  if ((main_status_value(block) & interrupt_enabled_main_bits(block)) != 0) return true;
  return (block.host_dma_status & kHostDmaMessagePending) != 0;
}

}  // namespace plat::board
