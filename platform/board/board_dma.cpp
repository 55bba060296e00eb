#include "platform/board/board_dma.h"

#include "platform/board/board_state.h"
#include "platform/board/pci_function.h"
#include "platform/kernel/physical_memory.h"

namespace plat::board {

namespace {

bool may_master_bus(const Board& board) {
  std::lock_guard guard(board.lock);
  return !board.vanished && function_bus_master(board.function_config);
}

}  // namespace

bool board_dma_write(Board* board, std::uint64_t bus_address, std::span<const std::byte> data) {
  return may_master_bus(*board) && plat::kernel::dma_write(bus_address, data);
}

bool board_dma_read(Board* board, std::uint64_t bus_address, std::span<std::byte> out) {
  return may_master_bus(*board) && plat::kernel::dma_read(bus_address, out);
}

BoardDmaBatch::BoardDmaBatch(Board* board) : may_master_(may_master_bus(*board)) {}

bool BoardDmaBatch::write(std::uint64_t bus_address, std::span<const std::byte> data) const {
  return may_master_ && plat::kernel::dma_write(bus_address, data);
}

bool BoardDmaBatch::read(std::uint64_t bus_address, std::span<std::byte> out) const {
  return may_master_ && plat::kernel::dma_read(bus_address, out);
}

}  // namespace plat::board
