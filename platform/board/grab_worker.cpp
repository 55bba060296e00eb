#include "platform/board/grab_worker.h"

#include <pthread.h>

#include <optional>
#include <vector>

#include "platform/board/board_state.h"
#include "platform/board/grab_controller.h"
#include "platform/board/interrupt_line.h"

namespace plat::board {

namespace {

// With the board's lock held. False when the queue is full.
bool enqueue(GrabWorker& worker, const CameraFrame& frame) {
  if (worker.queue_count == worker.queue.size()) return false;
  worker.queue[(worker.queue_first + worker.queue_count) % worker.queue.size()] = frame;
  ++worker.queue_count;
  return true;
}

CameraFrame dequeue(GrabWorker& worker) {
  const CameraFrame frame = worker.queue[worker.queue_first];
  worker.queue_first = (worker.queue_first + 1) % worker.queue.size();
  --worker.queue_count;
  return frame;
}

// The interrupt line reports to the kernel, so it runs with the lock released.
void update_line(Board* board, std::unique_lock<std::mutex>& guard) {
  guard.unlock();
  interrupt_line_update(*board);
  guard.lock();
}

void timing_loop(Board* board) {
  ::pthread_setname_np(::pthread_self(), "board-timing");
  GrabWorker& worker = board->grab_worker;
  std::unique_lock guard(board->lock);
  std::vector<CameraFrame> ended;
  while (!worker.stop) {
    ended.clear();
    std::optional<GrabClock::time_point> deadline;
    const bool started = grab_advance(*board, GrabClock::now(), &ended, &deadline);
    for (const CameraFrame& frame : ended) grab_worker_hand_over(*board, frame);
    if (started || !ended.empty()) {
      update_line(board, guard);
      continue;
    }
    if (deadline)
      worker.wake.wait_until(guard, *deadline);
    else
      worker.wake.wait(guard);
  }
}

void carrying_loop(Board* board) {
  ::pthread_setname_np(::pthread_self(), "board-carrier");
  GrabWorker& worker = board->grab_worker;
  std::unique_lock guard(board->lock);
  for (;;) {
    worker.frames_ready.wait(guard, [&] { return worker.stop || worker.queue_count != 0; });
    if (worker.stop) return;
    const CameraFrame frame = dequeue(worker);
    // The frame's copy takes the lock itself, for its on-board part only.
    guard.unlock();
    // The frame's end is counted before its messages go out: a driver that
    // reads the last frame's message finds the controller gone idle.
    board_carry_frame(board, frame, [&frame](Board& carrying, const FrameDelivery& delivery) {
      grab_frame_delivered(carrying, frame, delivery.dropped == 0 ? FrameFate::kDelivered : FrameFate::kNoHostBuffer);
    });
    guard.lock();
    ++worker.carried;
    worker.frame_carried.notify_all();
    update_line(board, guard);
  }
}

}  // namespace

GrabWorker::~GrabWorker() {
  if (!timing.joinable()) return;
  {
    std::lock_guard guard(board->lock);
    stop = true;
  }
  wake.notify_all();
  frames_ready.notify_all();
  frame_carried.notify_all();
  timing.join();
  carrier.join();
}

void grab_worker_wake(Board& board) {
  GrabWorker& worker = board.grab_worker;
  if (!worker.timing.joinable()) {
    if (!grab_active(board)) return;
    worker.board = &board;
    worker.timing = std::thread(timing_loop, &board);
    worker.carrier = std::thread(carrying_loop, &board);
  }
  worker.wake.notify_all();
}

void grab_worker_hand_over(Board& board, const CameraFrame& frame) {
  GrabWorker& worker = board.grab_worker;
  if (!enqueue(worker, frame)) {
    grab_frame_delivered(board, frame, FrameFate::kQueueFull);
    return;
  }
  ++worker.handed;
  worker.frames_ready.notify_one();
}

void grab_worker_drain(Board& board, std::unique_lock<std::mutex>& guard) {
  GrabWorker& worker = board.grab_worker;
  const std::uint64_t handed = worker.handed;
  worker.frame_carried.wait(guard, [&] { return worker.stop || worker.carried >= handed; });
}

}  // namespace plat::board
