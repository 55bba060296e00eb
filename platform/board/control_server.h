// The board control interface of the kernel host, for tests and tools (never
// for the system's own code): lists the boards, reads and writes their
// configuration space and registers, raises interrupt statuses, switches the
// vanished fault, writes host memory by board DMA and removes a board through
// the host's Plug and Play. Served on "<machine>/board-control.sock" by one
// thread; records in control_protocol.h.
#pragma once

#include <cstdint>
#include <span>

#include "platform/board/board.h"

namespace plat::board {

struct BoardControlHooks {
  void* context = nullptr;
  // Removes board `index` (surprise removal, then remove) and answers 0 on
  // success. Once it succeeded the server never touches that board again, so
  // the host may destroy it. Null: removal is refused.
  std::int32_t (*remove_board)(void* context, int index, Board* board) = nullptr;
  // Buffers the host's memory driver holds locked. Null: the query is refused.
  std::uint32_t (*locked_buffers)(void* context) = nullptr;
};

// Starts serving the boards (index = position in the span). False when the
// socket cannot be made or a server already runs.
bool board_control_start(std::span<Board*> boards, const BoardControlHooks& hooks);
// Stops serving and joins the thread; the socket file is removed. Call it
// before destroying the boards.
void board_control_stop();

}  // namespace plat::board
