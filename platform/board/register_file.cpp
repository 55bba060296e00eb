#include "platform/board/register_file.h"

#include <cstdio>

#include "platform/board/board_log.h"
#include "platform/board/pci_function.h"

namespace plat::board {

namespace {

bool routable(std::uint64_t offset) { return offset < kRegisterSpaceSize && offset % 4 == 0; }

bool route_read(const Board& board, std::uint32_t offset, std::uint32_t* value) {
  return i2c_bus_read(board.i2c, offset, value) || identity_block_read(board.identity, offset, value) ||
         interrupt_block_read(board.interrupts, offset, value) ||
         dma_control_block_read(board.dma_control, offset, value) ||
         processing_units_read(board.processing, offset, value) ||
         memory_windows_read(board.windows, offset, value) ||
         control_registers_read(board.registers, offset, value);
}

bool route_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  return i2c_bus_write(board.i2c, offset, value) || identity_block_write(board.identity, offset, value) ||
         interrupt_block_write(board.interrupts, offset, value) ||
         dma_control_block_write(board.dma_control, offset, value) ||
         processing_units_write(board.processing, offset, value) ||
         memory_windows_write(board.windows, offset, value) ||
         control_registers_write(board.registers, offset, value);
}

void log_unknown(const Board& board, const char* what, std::uint64_t offset, std::uint32_t value) {
  char text[128];
  std::snprintf(text, sizeof text, "board %d: unknown register %s at BAR0+0x%05llx (0x%08x)",
                board.index, what, static_cast<unsigned long long>(offset), value);
  board_log(kBoardLogWarning, text);
}

}  // namespace

std::uint32_t register_read(Board& board, std::uint64_t offset) {
  std::uint32_t value = 0xFFFFFFFF;
  if (routable(offset) && route_read(board, static_cast<std::uint32_t>(offset), &value)) return value;
  log_unknown(board, "read", offset, 0xFFFFFFFF);
  return 0xFFFFFFFF;
}

void register_write(Board& board, std::uint64_t offset, std::uint32_t value) {
  if (routable(offset) && route_write(board, static_cast<std::uint32_t>(offset), value)) return;
  log_unknown(board, "write", offset, value);
}

}  // namespace plat::board
