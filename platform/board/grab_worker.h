// The thread that times a board's frames: it ends readouts, carries the
// frames into the acquisition path and starts the frames that are due
// (grab_controller.h). It starts with the board's first acquisition and ends
// with the board.
#pragma once

#include <condition_variable>
#include <thread>

#include "platform/board/board.h"

namespace plat::board {

class GrabWorker {
 public:
  GrabWorker() = default;
  ~GrabWorker();
  GrabWorker(const GrabWorker&) = delete;
  GrabWorker& operator=(const GrabWorker&) = delete;

  Board* board = nullptr;
  std::thread thread;
  std::condition_variable wake;
  bool stop = false;
};

// With the board's lock held: something the worker times may have changed.
void grab_worker_wake(Board& board);

}  // namespace plat::board
