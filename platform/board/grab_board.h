// The grab controllers and cameras (grab_controller.h) inside the board: what
// tests do at the cameras' end of the cables and how they look at a grab.
// Cameras are 0 and 1; every call is false for a camera the board has not.
#pragma once

#include <cstdint>

#include "platform/board/board.h"
#include "platform/board/camera_model.h"

namespace plat::board {

// False as well for a model camera_model_valid refuses. A frame in progress
// keeps the geometry it started with.
bool board_grab_set_camera(Board* board, std::uint32_t camera, const CameraModel& model);
bool board_grab_camera(Board* board, std::uint32_t camera, CameraModel* model);
// Loses or brings back the camera's pixel clock.
bool board_grab_set_pixel_clock(Board* board, std::uint32_t camera, bool present);
// A pulse on the camera's external frame-trigger input.
bool board_grab_trigger(Board* board, std::uint32_t camera);

struct GrabView {
  bool running;           // armed or running (grab status bit 24)
  bool waiting_trigger;   // grab status bit 20
  bool pixel_clock;
  bool reset_held;
  std::uint32_t frames_started;    // since power-on
  std::uint32_t frames_completed;  // carried into the acquisition path
  std::uint32_t frames_dropped;    // cut by a reset, a lost clock or an abort before its first line
  std::uint32_t next_frame;        // the number the next frame carries
  std::uint32_t last_command;      // the last command acted on (1, 2, 4, 9)
  std::uint32_t reset_holds;       // times the channel reset was set
  std::uint32_t triggers;          // frame triggers seen
  std::uint64_t start_tick_us;     // frame clock (us since power-on) at the last start
};
bool board_grab_view(Board* board, std::uint32_t camera, GrabView* view);

}  // namespace plat::board
