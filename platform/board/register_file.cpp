#include "platform/board/register_file.h"

#include <cstdio>

#include "platform/board/board_front_end.h"
#include "platform/board/board_log.h"
#include "platform/board/board_uart.h"
#include "platform/board/grab_controller.h"
#include "platform/board/pci_function.h"

namespace plat::board {

namespace {

bool routable(std::uint64_t offset) { return offset < kRegisterSpaceSize && offset % 4 == 0; }

bool route_read(const Board& board, std::uint32_t offset, std::uint32_t* value) {
  return i2c_bus_read(board.i2c, offset, value) || fpga_ports_read(board, offset, value) ||
         onboard_memory_read(board.onboard, offset, value) ||
         identity_block_read(board.identity, offset, value) ||
         interrupt_block_read(board.interrupts, offset, value) ||
         dma_control_block_read(board.dma_control, offset, value) ||
         dma_engines_read(board.dma, offset, value) ||
         processing_units_read(board.processing, offset, value) ||
         memory_windows_read(board.windows, offset, value) ||
         front_end_register_read(board, offset, value) || gpio_block_read(board.gpio, offset, value) ||
         grab_register_read(board, offset, value) || control_registers_read(board.registers, offset, value);
}

bool route_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  return i2c_bus_write(board.i2c, offset, value) || fpga_ports_write(board, offset, value) ||
         onboard_memory_write(board.onboard, board.windows, board.interrupts, offset, value) ||
         identity_block_write(board.identity, offset, value) ||
         interrupt_block_write(board.interrupts, offset, value) ||
         dma_control_block_write(board.dma_control, offset, value) ||
         dma_engines_write(board.dma, offset, value) ||
         processing_units_write(board.processing, offset, value) ||
         memory_windows_write(board.windows, offset, value) ||
         front_end_register_write(board, offset, value) || gpio_block_write(board.gpio, offset, value) ||
         grab_register_write(board, offset, value) || control_registers_write(board.registers, offset, value);
}

void log_unknown(const Board& board, const char* what, std::uint64_t offset, std::uint32_t value) {
  char text[128];
  std::snprintf(text, sizeof text, "board %d: unknown register %s at BAR0+0x%05llx (0x%08x)",
                board.index, what, static_cast<unsigned long long>(offset), value);
  board_log(kBoardLogWarning, text);
}

// The host DMA status joins the message FIFO's bits to the interrupt block's
// pending bit; reading the window takes messages off the FIFO.
bool host_messages_read(Board& board, std::uint32_t offset, std::uint32_t* value) {
  if (offset == kRegHostDmaStatus) {
    *value = host_dma_status_read(board.host_messages, board.interrupts);
    return true;
  }
  return host_messages_window_read(board.host_messages, offset, value);
}

}  // namespace

std::uint32_t register_read(Board& board, std::uint64_t offset) {
  std::uint32_t value = 0xFFFFFFFF;
  if (routable(offset) && flash_port_read(board.flash, static_cast<std::uint32_t>(offset), &value)) return value;
  if (routable(offset) && host_messages_read(board, static_cast<std::uint32_t>(offset), &value)) return value;
  if (routable(offset) && uart_register_read(board, static_cast<std::uint32_t>(offset), &value)) return value;
  if (routable(offset) && camera_uart_read(board.camera_uart, static_cast<std::uint32_t>(offset), &value)) return value;
  if (routable(offset) && route_read(board, static_cast<std::uint32_t>(offset), &value)) {
    if (offset == kRegCameraLinkStatus) value |= front_end_link_status(board) | grab_link_status(board);
    packer_arbiter_read(board.arbiter, static_cast<std::uint32_t>(offset), &value);
    return value;
  }
  log_unknown(board, "read", offset, 0xFFFFFFFF);
  return 0xFFFFFFFF;
}

void register_write(Board& board, std::uint64_t offset, std::uint32_t value) {
  if (routable(offset)) ++board.writes.counts[offset / 4];
  if (offset == kRegHostDmaStatus) {
    host_dma_status_write(board.host_messages, board.interrupts, value);
    return;
  }
  if (routable(offset) && flash_port_write(board.flash, static_cast<std::uint32_t>(offset), value)) return;
  if (routable(offset) && uart_register_write(board, static_cast<std::uint32_t>(offset), value)) return;
  if (routable(offset) && camera_uart_write(board.camera_uart, static_cast<std::uint32_t>(offset), value)) return;
  if (routable(offset)) packer_arbiter_write(board.arbiter, static_cast<std::uint32_t>(offset), value);
  if (routable(offset) && route_write(board, static_cast<std::uint32_t>(offset), value)) return;
  log_unknown(board, "write", offset, value);
}

}  // namespace plat::board
