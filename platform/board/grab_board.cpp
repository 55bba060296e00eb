#include "platform/board/grab_board.h"

#include <mutex>

#include "platform/board/board_state.h"
#include "platform/board/grab_controller.h"
#include "platform/board/grab_worker.h"
#include "platform/board/interrupt_line.h"

namespace plat::board {

bool board_grab_set_camera(Board* board, std::uint32_t camera, const CameraModel& model) {
  if (!camera_model_valid(model)) return false;
  std::lock_guard guard(board->lock);
  if (!grab_camera_present(*board, camera)) return false;
  board->grab.cameras[camera].model = model;
  grab_worker_wake(*board);
  return true;
}

bool board_grab_camera(Board* board, std::uint32_t camera, CameraModel* model) {
  std::lock_guard guard(board->lock);
  if (!grab_camera_present(*board, camera)) return false;
  *model = board->grab.cameras[camera].model;
  return true;
}

bool board_grab_set_pixel_clock(Board* board, std::uint32_t camera, bool present) {
  {
    std::lock_guard guard(board->lock);
    if (!grab_set_pixel_clock(*board, camera, present, GrabClock::now())) return false;
    grab_worker_wake(*board);
  }
  interrupt_line_update(*board);
  return true;
}

bool board_grab_trigger(Board* board, std::uint32_t camera) {
  {
    std::lock_guard guard(board->lock);
    if (!grab_trigger(*board, camera, GrabClock::now())) return false;
    grab_worker_wake(*board);
  }
  interrupt_line_update(*board);
  return true;
}

bool board_grab_view(Board* board, std::uint32_t camera, GrabView* view) {
  std::lock_guard guard(board->lock);
  if (!grab_camera_present(*board, camera)) return false;
  const GrabCamera& c = board->grab.cameras[camera];
  const bool running = c.mode != GrabMode::kIdle;
  *view = GrabView{running,           running && c.waiting_trigger, c.pixel_clock,   c.reset_held,
                   c.frames_started,  c.frames_completed,           c.frames_dropped, c.next_number,
                   c.last_command,    c.reset_holds,                c.triggers,       c.start_tick_us};
  return true;
}

}  // namespace plat::board
