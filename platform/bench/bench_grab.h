// A continuous grab of one camera of board 0 through the board library, as an
// application runs it: the camera set through the board control interface, an
// acquisition window of its size, a transfer into a ring of host buffers, and
// a consumer that takes each end-of-frame message, checks the frame against
// the camera pattern and hands its buffer back to the board.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/board/control_protocol.h"

namespace plat::bench {

struct GrabCounts {
  std::uint64_t frames = 0;       // end-of-frame messages taken
  std::uint64_t bad_frames = 0;   // frames whose sampled lines were not the camera's
  std::uint64_t gaps = 0;         // frame numbers skipped between two frames taken
  double first_to_last_s = 0;     // from the first frame taken to the last
};

class GrabSession {
 public:
  GrabSession(std::uint32_t camera, std::uint32_t width, std::uint32_t height, std::uint32_t period_us,
              std::uint32_t buffers);
  ~GrabSession();
  GrabSession(const GrabSession&) = delete;
  GrabSession& operator=(const GrabSession&) = delete;

  bool ready() const { return ready_; }
  std::uint64_t frame_bytes() const { return std::uint64_t{width_} * height_; }
  std::vector<std::vector<std::uint8_t>>& buffers();

  // Starts the continuous grab (false when the library refuses).
  bool start();
  // Takes frames for `duration`; every `line_stride`-th line of each is checked.
  GrabCounts take(std::chrono::steady_clock::duration duration, std::uint32_t line_stride);
  // Stops the grab at once and takes the frames still on their way.
  GrabCounts stop();
  plat::board::ControlGrabState board_state() const;

 private:
  struct Library;
  bool take_one(std::uint32_t wait_ms, std::uint32_t line_stride, GrabCounts* counts);

  std::uint32_t camera_, width_, height_;
  bool ready_ = false;
  bool running_ = false;
  bool have_last_ = false;
  std::uint32_t last_number_ = 0;
  std::unique_ptr<Library> library_;
};

}  // namespace plat::bench
