#include "platform/board/interrupt_line.h"

#include "platform/board/pci_function.h"

namespace plat::board {

bool interrupt_line_level(const Board& board) {
  if ((board.vanished && !board.vanished_line_held) || function_interrupt_disabled(board.function_config))
    return false;
  return interrupt_block_requests(board.interrupts);
}

void interrupt_line_update(Board& board) {
  std::unique_lock guard(board.lock);
  InterruptLineState& line = board.line;
  line.reevaluate = true;
  if (line.reporting) return;  // that thread will see the change
  line.reporting = true;
  while (line.reevaluate) {
    line.reevaluate = false;
    const bool level = interrupt_line_level(board);
    if (line.callback == nullptr || level == line.reported_level) continue;
    line.reported_level = level;
    const InterruptLineCallback callback = line.callback;
    void* const context = line.context;
    guard.unlock();
    callback(context, level);
    guard.lock();
  }
  line.reporting = false;
  line.idle.notify_all();
}

void interrupt_line_connect(Board& board, InterruptLineCallback callback, void* context) {
  {
    std::unique_lock guard(board.lock);
    board.line.idle.wait(guard, [&] { return !board.line.reporting; });
    board.line.callback = callback;
    board.line.context = context;
    board.line.reported_level = false;
  }
  interrupt_line_update(board);
}

}  // namespace plat::board
