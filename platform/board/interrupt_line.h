// Reporting the level of the board's interrupt line to the kernel. Any thread
// that may have changed the level calls interrupt_line_update after releasing
// the board's lock; one thread at a time reports, and it keeps reporting until
// the reported level is the current one, so reports never go out of order and
// the last one always tells the truth.
#pragma once

#include "platform/board/board_state.h"

namespace plat::board {

// The line's level now; the board's lock is held by the caller.
bool interrupt_line_level(const Board& board);

// Called without the board's lock.
void interrupt_line_update(Board& board);

// Replaces the callback once no report is running, then reports the current
// level to the new callback when it is asserted.
void interrupt_line_connect(Board& board, InterruptLineCallback callback, void* context);

}  // namespace plat::board
