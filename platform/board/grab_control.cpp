#include "platform/board/grab_control.h"

#include <cstring>

#include "platform/board/grab_board.h"

namespace plat::board {

namespace {

template <typename Record>
void put(const Record& record, std::vector<std::byte>* out) {
  const auto* bytes = reinterpret_cast<const std::byte*>(&record);
  out->assign(bytes, bytes + sizeof record);
}

std::int32_t set_camera(Board* board, std::uint32_t camera, std::span<const std::byte> payload) {
  ControlCameraModel record{};
  if (payload.size() != sizeof record) return kControlBadRequest;
  std::memcpy(&record, payload.data(), sizeof record);
  const CameraModel model{record.width, record.height, record.taps, record.bits_per_pixel, record.frame_period_us};
  return board_grab_set_camera(board, camera, model) ? kControlOk : kControlBadRequest;
}

std::int32_t get_camera(Board* board, std::uint32_t camera, std::vector<std::byte>* out) {
  CameraModel model;
  if (!board_grab_camera(board, camera, &model)) return kControlBadRequest;
  put(ControlCameraModel{model.width, model.height, model.taps, model.bits_per_pixel, model.frame_period_us}, out);
  return kControlOk;
}

std::int32_t get_state(Board* board, std::uint32_t camera, std::vector<std::byte>* out) {
  GrabView view{};
  if (!board_grab_view(board, camera, &view)) return kControlBadRequest;
  ControlGrabState state{};
  state.running = view.running ? 1 : 0;
  state.waiting_trigger = view.waiting_trigger ? 1 : 0;
  state.pixel_clock = view.pixel_clock ? 1 : 0;
  state.reset_held = view.reset_held ? 1 : 0;
  state.frames_started = view.frames_started;
  state.frames_completed = view.frames_completed;
  state.frames_dropped = view.frames_dropped;
  state.next_frame = view.next_frame;
  state.last_command = view.last_command;
  state.reset_holds = view.reset_holds;
  state.triggers = view.triggers;
  state.start_tick_us = view.start_tick_us;
  put(state, out);
  return kControlOk;
}

}  // namespace

std::int32_t grab_control_command(Board* board, const ControlRequest& request, std::span<const std::byte> payload,
                                  std::vector<std::byte>* out) {
  const std::uint32_t camera = request.target;
  switch (request.command) {
    case kControlGrabSetCamera: return set_camera(board, camera, payload);
    case kControlGrabCamera: return get_camera(board, camera, out);
    case kControlGrabPixelClock:
      if (request.value > 1) return kControlBadRequest;
      return board_grab_set_pixel_clock(board, camera, request.value == 1) ? kControlOk : kControlBadRequest;
    case kControlGrabTrigger: return board_grab_trigger(board, camera) ? kControlOk : kControlBadRequest;
    case kControlGrabState: return get_state(board, camera, out);
    default: return kControlBadRequest;
  }
}

}  // namespace plat::board
