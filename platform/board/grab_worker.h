// The board's two threads for frames (grab_controller.h). The timing thread
// keeps the cameras' clocks: it ends readouts and starts the frames that are
// due, and hands each ended frame to the carrying thread through a short
// queue; it never copies a frame, so a slow copy cannot shift a camera's
// clock. The carrying thread moves each frame along the acquisition path
// (dma_frames.h) and reports what became of it. A frame that finds the queue
// full is dropped and counted. Both start with the board's first acquisition
// and end with the board. A frame an abort cuts short takes the same queue.
//
// Stopping a DMA channel lets the frames that ended while it ran through it
// first (grab_worker_drain): the model moves a frame whole, so there is no
// channel status in between for the driver to poll.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/board/board.h"
#include "platform/board/dma_frames.h"

namespace plat::board {

// Frames ended and not carried yet that the board holds before it drops one.
inline constexpr std::size_t kCarryQueueFrames = 8;

class GrabWorker {
 public:
  GrabWorker() = default;
  ~GrabWorker();
  GrabWorker(const GrabWorker&) = delete;
  GrabWorker& operator=(const GrabWorker&) = delete;

  // All guarded by the board's lock.
  Board* board = nullptr;
  std::thread timing;
  std::thread carrier;
  std::condition_variable wake;          // the timing thread
  std::condition_variable frames_ready;  // the carrying thread
  std::condition_variable frame_carried;  // those draining the queue
  std::array<CameraFrame, kCarryQueueFrames> queue{};
  std::size_t queue_first = 0;
  std::size_t queue_count = 0;
  std::uint64_t handed = 0;   // frames queued since the board began
  std::uint64_t carried = 0;  // of them, those carried to their end
  bool stop = false;
};

// With the board's lock held: something the timing thread times may have changed.
void grab_worker_wake(Board& board);

// With the board's lock held: an ended frame for the carrying thread; one
// that finds the queue full is dropped and counted.
void grab_worker_hand_over(Board& board, const CameraFrame& frame);

// With the board's lock held by `guard`: waits, the lock given back
// meanwhile, until every frame handed over so far has been carried.
void grab_worker_drain(Board& board, std::unique_lock<std::mutex>& guard);

}  // namespace plat::board
