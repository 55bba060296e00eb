// The board as a bus master: its DMA engines reach host memory only here, by
// bus address, through the kernel host's physical-memory map. A board whose
// bus-master bit is off, or that vanished, transfers nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/board/board.h"

namespace plat::board {

// False when the board may not master the bus or any byte has no backing
// (nothing is written past it).
bool board_dma_write(Board* board, std::uint64_t bus_address, std::span<const std::byte> data);
bool board_dma_read(Board* board, std::uint64_t bus_address, std::span<std::byte> out);

// The transfers of one frame on one channel, with the board's right to master
// the bus checked once for all of them (as an engine checks it when it starts).
class BoardDmaBatch {
 public:
  explicit BoardDmaBatch(Board* board);
  bool write(std::uint64_t bus_address, std::span<const std::byte> data) const;
  bool read(std::uint64_t bus_address, std::span<std::byte> out) const;

 private:
  bool may_master_;
};

}  // namespace plat::board
