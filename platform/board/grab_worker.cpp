#include "platform/board/grab_worker.h"

#include <optional>
#include <vector>

#include "platform/board/board_state.h"
#include "platform/board/dma_frames.h"
#include "platform/board/grab_controller.h"
#include "platform/board/interrupt_line.h"

namespace plat::board {

namespace {

// The DMA path takes the board's lock itself, and the interrupt line reports
// to the kernel, so both run with the lock released.
void worker_loop(Board* board) {
  GrabWorker& worker = board->grab_worker;
  std::unique_lock guard(board->lock);
  std::vector<CameraFrame> ended;
  while (!worker.stop) {
    ended.clear();
    std::optional<GrabClock::time_point> deadline;
    const bool started = grab_advance(*board, GrabClock::now(), &ended, &deadline);
    if (started || !ended.empty()) {
      guard.unlock();
      for (const CameraFrame& frame : ended) board_inject_frame(board, frame);
      guard.lock();
      for (const CameraFrame& frame : ended) grab_frame_delivered(*board, frame.channel);
      guard.unlock();
      interrupt_line_update(*board);
      guard.lock();
      continue;
    }
    if (deadline) worker.wake.wait_until(guard, *deadline);
    else worker.wake.wait(guard);
  }
}

}  // namespace

GrabWorker::~GrabWorker() {
  if (!thread.joinable()) return;
  {
    std::lock_guard guard(board->lock);
    stop = true;
  }
  wake.notify_all();
  thread.join();
}

void grab_worker_wake(Board& board) {
  GrabWorker& worker = board.grab_worker;
  if (!worker.thread.joinable()) {
    if (!grab_active(board)) return;
    worker.board = &board;
    worker.thread = std::thread(worker_loop, &board);
  }
  worker.wake.notify_all();
}

}  // namespace plat::board
