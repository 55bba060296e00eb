#include "platform/board/gpio_block.h"

#include <mutex>

#include "platform/board/board_state.h"
#include "platform/board/interrupt_line.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kMainLatchBits = kMainInputLines << kMainLatchShift;
constexpr std::uint32_t kMainFixedBits = 0xFF;  // lines and latches: never stored from a write
constexpr std::uint32_t kIoFixedBits = kIoInputLines | kIoFaultInput;

// Lines that moved the way their selection asks: a set bit wants a rising
// edge, a clear one a falling edge.
std::uint32_t selected_edges(std::uint32_t before, std::uint32_t after, std::uint32_t rising) {
  const std::uint32_t rose = ~before & after;
  const std::uint32_t fell = before & ~after;
  return (rose & rising) | (fell & ~rising);
}

std::uint32_t set_main_lines(GpioBlock& block, std::uint32_t lines) {
  lines &= kMainInputLines;
  const std::uint32_t enabled = (block.main_settings >> kMainEnableShift) & kMainInputLines;
  const std::uint32_t rising = (block.main_settings >> kMainEdgeShift) & kMainInputLines;
  const std::uint32_t fired = selected_edges(block.main_lines, lines, rising) & enabled;
  block.main_lines = lines;
  block.main_latches |= fired << kMainLatchShift;
  return fired != 0 ? kMainStatusIoEvent : 0;
}

std::uint32_t set_io_lines(GpioBlock& block, std::uint32_t lines) {
  lines &= kIoFixedBits;
  const std::uint32_t enabled = (block.io_settings >> kIoEnableShift) & kIoInputLines;
  const std::uint32_t rising = block.io_settings >> kIoEdgeShift;
  std::uint32_t fired = selected_edges(block.io_lines, lines, rising) & enabled;
  if ((~block.io_lines & lines & kIoFaultInput) != 0 && (block.io_settings & kIoFaultEventEnable) != 0)
    fired |= kIoFaultLatch;
  block.io_lines = lines;
  block.io_latches |= fired;
  return fired != 0 ? kMainStatusIoEvent : 0;
}

void write_io_control(GpioBlock& block, std::uint32_t value) {
  if ((block.io_control & kIoControlLoadPulse) == 0 && (value & kIoControlLoadPulse) != 0) {
    ++block.load_pulses;
    block.output_setting = (value & kIoControlOutputSetting) != 0 ? 1 : 0;
  }
  block.io_control = value;
}

}  // namespace

bool gpio_block_read(const GpioBlock& block, std::uint32_t offset, std::uint32_t* value) {
  switch (offset) {
    case kRegIoLatches: *value = block.io_latches | block.io_latch_other; return true;
    case kRegIoControl:
    case kRegIoOutputs:
    case kRegMainOutputs: *value = 0; return true;
    case kRegIoInputs: *value = block.io_lines | block.io_settings; return true;
    case kRegMainInputs: *value = block.main_lines | block.main_latches | block.main_settings; return true;
    default: return false;
  }
}

bool gpio_block_write(GpioBlock& block, std::uint32_t offset, std::uint32_t value) {
  switch (offset) {
    case kRegIoLatches:
      block.io_latches ^= value & kIoLatchBits;
      block.io_latch_other = value & ~kIoLatchBits;
      break;
    case kRegIoControl: write_io_control(block, value); break;
    case kRegIoInputs: block.io_settings = value & ~kIoFixedBits; break;
    case kRegIoOutputs: block.io_outputs = value; break;
    case kRegMainInputs:
      block.main_latches &= ~(value & kMainLatchBits);
      block.main_settings = value & ~kMainFixedBits;
      break;
    case kRegMainOutputs: block.main_outputs = value; break;
    default: break;
  }
  return false;
}

std::uint32_t gpio_block_set_inputs(GpioBlock& block, GpioGroup group, std::uint32_t lines) {
  return group == GpioGroup::kMainBoard ? set_main_lines(block, lines) : set_io_lines(block, lines);
}

bool board_gpio_set_inputs(Board* board, std::uint32_t group, std::uint32_t lines) {
  if (group > static_cast<std::uint32_t>(GpioGroup::kIoBoard)) return false;
  {
    std::lock_guard guard(board->lock);
    const std::uint32_t raise = gpio_block_set_inputs(board->gpio, static_cast<GpioGroup>(group), lines);
    if (raise != 0) interrupt_block_raise(board->interrupts, kRegMainStatus, raise);
  }
  interrupt_line_update(*board);
  return true;
}

GpioBlock board_gpio_view(Board* board) {
  std::lock_guard guard(board->lock);
  return board->gpio;
}

}  // namespace plat::board
