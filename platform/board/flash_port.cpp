#include "platform/board/flash_port.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kCycleWritableBits = 0xFFFFFF7F;  // bit 7 is the ready line's

bool port_open(const FlashBlock& block) {
  return (block.board_config & kBoardConfigFlashPort) != 0 && (block.cycle & kFlashBusEnable) != 0;
}

std::uint32_t word_address(const FlashBlock& block) { return (block.address_high << 8) | (block.cycle >> 24); }

bool raised(std::uint32_t before, std::uint32_t after, std::uint32_t bit) {
  return (before & bit) == 0 && (after & bit) != 0;
}

void start_reload(FlashBlock& block) {
  if (block.reload.running) return;
  block.reload.running = true;
  block.reload.done_at = FlashClock::now() + std::chrono::milliseconds(block.reload.reload_ms);
}

void cycle_write(FlashBlock& block, std::uint32_t value) {
  const std::uint32_t before = block.cycle;
  block.cycle = value & kCycleWritableBits;
  block.device.programming_voltage = (value & kFlashProgrammingVoltage) != 0;
  if (!port_open(block)) return;
  if (raised(before, value, kFlashResetLine)) flash_reset(block.device);
  if (raised(before, value, kFlashWriteStrobe))
    flash_write_cycle(block.device, word_address(block), static_cast<std::uint16_t>(value >> 8));
  if (raised(before, value, kFlashReadStrobe)) block.data_read = flash_read_cycle(block.device, word_address(block));
  flash_store_save_protection(block.store, block.device);
}

}  // namespace

bool flash_port_read(FlashBlock& block, std::uint32_t offset, std::uint32_t* value) {
  switch (offset) {
    case kRegBoardConfig: *value = block.board_config; return true;
    case kRegFlashAddress: *value = block.address_high; return true;
    case kRegFlashCycle: {
      const std::uint32_t ready = flash_ready(block.device) ? kFlashReady : 0;
      *value = (block.cycle & 0xFF00007F) | ready | (std::uint32_t{block.data_read} << 8);
      return true;
    }
    default: return false;
  }
}

bool flash_port_write(FlashBlock& block, std::uint32_t offset, std::uint32_t value) {
  switch (offset) {
    case kRegBoardConfig:
      block.board_config = value & ~kBoardConfigReload;
      if ((value & kBoardConfigReload) != 0) start_reload(block);
      return true;
    case kRegFlashAddress: block.address_high = value & 0xFFFFFF; return true;
    case kRegFlashCycle: cycle_write(block, value); return true;
    default: return false;
  }
}

}  // namespace plat::board
