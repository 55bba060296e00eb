#include "platform/board/grab_controller.h"

#include <algorithm>
#include <string>

#include "platform/board/board_log.h"
#include "platform/board/board_state.h"
#include "platform/board/crop_window.h"
#include "platform/board/grab_worker.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kMainPixelClockBit = 3;  // + camera
constexpr std::uint32_t kMainFrameStartBit = 15;
constexpr std::uint32_t kMainFrameEndBit = 25;
constexpr std::uint32_t kMultiMaskShift = 8;
constexpr std::uint32_t kLinkPresentShift = 4;  // camera c's "camera present" line is bit 4c

struct CameraRegister {
  std::uint32_t camera;
  std::uint32_t local;  // the offset as camera 0's register
};

// Camera c's registers repeat 0x400 apart from 0x1000 and from 0x3000.
bool split(std::uint32_t offset, CameraRegister* out) {
  for (std::uint32_t base : {0x1000u, 0x3000u}) {
    if (offset < base || offset >= base + kGrabCameras * kGrabCameraStride) continue;
    out->camera = (offset - base) / kGrabCameraStride;
    out->local = offset - out->camera * kGrabCameraStride;
    return true;
  }
  return false;
}

bool is_setting(std::uint32_t local) {
  return (local >= 0x1004 && local <= 0x1060) || (local >= 0x1180 && local <= 0x1190) || local == kRegGrabReset;
}

std::uint32_t written(const Board& board, std::uint32_t camera, std::uint32_t local) {
  std::uint32_t value = 0;
  control_registers_peek(board.registers, local + camera * kGrabCameraStride, &value);
  return value;
}

std::uint64_t frame_clock_us(const Board& board, GrabClock::time_point now) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(now - board.grab.origin).count());
}

void raise_main(Board& board, std::uint32_t bit) {
  interrupt_block_raise(board.interrupts, kRegMainStatus, 1u << bit);
}

void raise_if_enabled(Board& board, std::uint32_t camera, std::uint32_t enable, std::uint32_t bit) {
  if ((written(board, camera, kRegGrabChannelEnables) & enable) != 0) raise_main(board, bit + camera);
}

bool may_start(const GrabCamera& camera) {
  if (camera.mode == GrabMode::kIdle || camera.freezing || camera.waiting_trigger) return false;
  if (camera.reset_held || !camera.pixel_clock || camera.in_progress) return false;
  return camera.mode == GrabMode::kContinuous || camera.frames_left > 0;
}

// An acquisition whose last frame has come through (or was dropped) is over.
void settle(GrabCamera& camera) {
  if (camera.mode == GrabMode::kIdle || camera.in_progress || camera.completing != 0) return;
  const bool counted_out = camera.mode == GrabMode::kCounted && camera.frames_left == 0;
  if (!camera.freezing && !counted_out) return;
  camera.mode = GrabMode::kIdle;
  camera.freezing = false;
  camera.waiting_trigger = false;
}

// The camera keeps its own clock: a frame starts at its slot, and the next
// slot is one period after it, however late the board's timing thread came
// to it (a late frame ends as soon as its readout is past).
void start_frame(Board& board, std::uint32_t c, GrabClock::time_point now) {
  GrabCamera& camera = board.grab.cameras[c];
  const GrabClock::time_point slot = std::min(camera.next_start, now);
  const CropWindow window = crop_window_of(board, c, camera.model);
  const std::uint32_t bytes = camera_bytes_per_pixel(camera.model);
  camera.current = CameraFrame{c, window.width, window.height, bytes, camera.next_number++,
                               window.first_pixel * bytes, window.first_line};
  camera.in_progress = true;
  camera.frame_begin = slot;
  camera.camera_lines = camera.model.height;
  camera.frame_end = slot + camera_readout_time(camera.model);
  camera.next_start = slot + camera_frame_period(camera.model);
  ++camera.frames_started;
  if (camera.mode == GrabMode::kCounted) --camera.frames_left;
  if (camera.triggered && camera.group_left > 0 && --camera.group_left == 0)
    camera.waiting_trigger = camera.mode == GrabMode::kContinuous || camera.frames_left > 0;
  raise_if_enabled(board, c, kEnableFrameStart, kMainFrameStartBit);
}

bool try_start(Board& board, std::uint32_t c, GrabClock::time_point now) {
  GrabCamera& camera = board.grab.cameras[c];
  if (!may_start(camera) || now < camera.next_start) return false;
  start_frame(board, c, now);
  return true;
}

void drop_frame(GrabCamera& camera) {
  if (!camera.in_progress) return;
  camera.in_progress = false;
  ++camera.frames_dropped;
  settle(camera);
}

// The frame in progress ends at `at`: it goes on its way through the
// acquisition path, and the last time stamp register takes its end.
CameraFrame end_frame(Board& board, std::uint32_t c, GrabClock::time_point at) {
  GrabCamera& camera = board.grab.cameras[c];
  camera.in_progress = false;
  ++camera.completing;
  camera.current.end_stamp = static_cast<std::uint32_t>(frame_clock_us(board, at));
  control_registers_set_inputs(board.registers, kRegGrabLastStamp + c * kGrabCameraStride, camera.current.end_stamp);
  return camera.current;
}

// The lines of the frame in progress (of its crop window) that the camera
// has sent by `now`: its lines arrive evenly over the readout.
std::uint32_t lines_sent(const GrabCamera& camera, GrabClock::time_point now) {
  if (now >= camera.frame_end) return camera.current.height;
  if (now <= camera.frame_begin) return 0;
  const auto elapsed = static_cast<std::uint64_t>((now - camera.frame_begin).count());
  const auto readout = static_cast<std::uint64_t>((camera.frame_end - camera.frame_begin).count());
  const std::uint64_t sent = elapsed * camera.camera_lines / readout;
  const std::uint64_t first = camera.current.first_line;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(sent > first ? sent - first : 0, camera.current.height));
}

// An abort cuts the frame in progress: the lines already sent end it short,
// as a camera shorter than the window would; a frame of no line is dropped.
void cut_frame(Board& board, std::uint32_t c, GrabClock::time_point now) {
  GrabCamera& camera = board.grab.cameras[c];
  if (!camera.in_progress) return;
  const std::uint32_t lines = lines_sent(camera, now);
  if (lines == 0) {
    drop_frame(camera);
    return;
  }
  camera.current.height = lines;
  grab_worker_hand_over(board, end_frame(board, c, std::min(now, camera.frame_end)));
}

void start_acquisition(Board& board, std::uint32_t c, GrabMode mode, GrabClock::time_point now) {
  GrabCamera& camera = board.grab.cameras[c];
  const std::uint64_t groups = std::max<std::uint32_t>(written(board, c, kRegGrabGroupCount), 1);
  camera.group_frames = written(board, c, kRegGrabGroupFrames);
  camera.mode = camera.group_frames == 0 ? GrabMode::kIdle : mode;
  camera.grabbed = camera.grabbed || camera.mode != GrabMode::kIdle;
  camera.freezing = false;
  camera.frames_left = mode == GrabMode::kCounted ? groups * camera.group_frames : 0;
  camera.triggered = (written(board, c, kRegGrabTrigger) & kTriggerFrameOn) != 0;
  camera.waiting_trigger = camera.triggered;
  camera.group_left = 0;
  camera.start_tick_us = frame_clock_us(board, now);
  camera.drop_logged = false;
  if (!camera.in_progress) camera.next_start = now;  // a frame in progress keeps its successor's time
  try_start(board, c, now);
}

void apply_command(Board& board, std::uint32_t c, std::uint32_t command, GrabClock::time_point now) {
  GrabCamera& camera = board.grab.cameras[c];
  switch (command) {
    case kGrabCounted: start_acquisition(board, c, GrabMode::kCounted, now); break;
    case kGrabContinuous: start_acquisition(board, c, GrabMode::kContinuous, now); break;
    case kGrabFreeze:
      if (camera.mode != GrabMode::kIdle) camera.freezing = true;
      settle(camera);
      break;
    case kGrabAbort:
      camera.mode = GrabMode::kIdle;
      camera.freezing = false;
      camera.waiting_trigger = false;
      cut_frame(board, c, now);
      break;
    default: return;  // a settings write
  }
  camera.last_command = command;
}

void set_reset(Board& board, std::uint32_t c, bool held, GrabClock::time_point now) {
  GrabCamera& camera = board.grab.cameras[c];
  if (held == camera.reset_held) return;
  camera.reset_held = held;
  if (held) {
    ++camera.reset_holds;
    camera.next_number = 0;
    drop_frame(camera);
    return;
  }
  // The frames the camera sent while the reset held are gone: the next starts now.
  if (!camera.in_progress) camera.next_start = now;
  try_start(board, c, now);
}

bool act_on_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  const GrabClock::time_point now = GrabClock::now();
  if (offset == kRegMultiCamera) {
    control_registers_write(board.registers, offset, value);
    const std::uint32_t mask = (value >> kMultiMaskShift) & 0xF;
    for (std::uint32_t c = 0; c < kGrabCameras; ++c)
      if ((mask & (1u << c)) != 0 && grab_camera_present(board, c)) apply_command(board, c, value & kGrabCommandMask, now);
    return true;
  }
  CameraRegister at{};
  if (!split(offset, &at) || !grab_camera_present(board, at.camera)) return false;
  switch (at.local) {
    case kRegGrabControl:
      control_registers_write(board.registers, offset, value);
      apply_command(board, at.camera, value & kGrabCommandMask, now);
      return true;
    case kRegGrabTrigger:
      control_registers_write(board.registers, offset, value);
      if ((value & kTriggerSoftware) != 0) grab_trigger(board, at.camera, now);
      return true;
    case kRegGrabReset:
      control_registers_write(board.registers, offset, value);
      set_reset(board, at.camera, (value & 1) != 0, now);
      return true;
    default: return false;
  }
}

}  // namespace

bool grab_camera_present(const Board& board, std::uint32_t camera) {
  if (camera >= kGrabCameras || camera >= board.preset->camera_inputs) return false;
  // A firmware built for one camera leaves the second input without its controller.
  return camera == 0 || (board.identity.option_bits & kFirmwareSingleCamera) == 0;
}

bool grab_active(const Board& board) {
  for (const GrabCamera& camera : board.grab.cameras)
    if (camera.mode != GrabMode::kIdle || camera.in_progress || camera.completing != 0) return true;
  return false;
}

namespace {

bool measurement_read(const Board& board, std::uint32_t offset, std::uint32_t* value) {
  const std::uint32_t at = offset - kRegMeasuredLineWidth;
  if (offset < kRegMeasuredLineWidth || at >= 8 * kGrabCameras || at % 4 != 0) return false;
  const std::uint32_t c = at / 8;
  const GrabCamera& camera = board.grab.cameras[c];
  const bool running = grab_camera_present(board, c) && camera.pixel_clock;
  *value = !running ? 0 : at % 8 == 0 ? camera.model.width : camera.model.height;
  return true;
}

}  // namespace

bool grab_register_read(const Board& board, std::uint32_t offset, std::uint32_t* value) {
  if (measurement_read(board, offset, value)) return true;
  if (offset == kRegMultiCamera) return control_registers_read_back(board.registers, offset, value);
  CameraRegister at{};
  if (!split(offset, &at)) return false;
  if (!grab_camera_present(board, at.camera)) {
    if (at.local != kRegGrabCapability) return false;
    *value = 0;
    return true;
  }
  if (at.local == kRegGrabStatus) {
    const GrabCamera& camera = board.grab.cameras[at.camera];
    *value = written(board, at.camera, kRegGrabStatus);
    if (camera.mode != GrabMode::kIdle) *value |= kGrabStatusArmed;
    if (camera.mode == GrabMode::kIdle ? camera.grabbed : camera.freezing) *value |= kGrabStatusEnded;
    return true;
  }
  return is_setting(at.local) && control_registers_read_back(board.registers, offset, value);
}

bool grab_register_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  if (!act_on_write(board, offset, value)) return false;
  grab_worker_wake(board);
  return true;
}

std::uint32_t grab_link_status(const Board& board) {
  std::uint32_t lines = 0;
  for (std::uint32_t c = 0; c < kGrabCameras; ++c)
    if (grab_camera_present(board, c) && board.grab.cameras[c].pixel_clock) lines |= 1u << (kLinkPresentShift * c);
  return lines;
}

bool grab_advance(Board& board, GrabClock::time_point now, std::vector<CameraFrame>* ended,
                  std::optional<GrabClock::time_point>* deadline) {
  bool started = false;
  deadline->reset();
  const auto consider = [&](GrabClock::time_point at) {
    if (!deadline->has_value() || at < **deadline) *deadline = at;
  };
  for (std::uint32_t c = 0; c < kGrabCameras; ++c) {
    if (!grab_camera_present(board, c)) continue;
    GrabCamera& camera = board.grab.cameras[c];
    if (camera.in_progress && now >= camera.frame_end) ended->push_back(end_frame(board, c, camera.frame_end));
    started = try_start(board, c, now) || started;
    if (camera.in_progress) consider(camera.frame_end);
    else if (may_start(camera)) consider(camera.next_start);
  }
  return started;
}

void grab_frame_delivered(Board& board, const CameraFrame& frame, FrameFate fate) {
  const std::uint32_t c = frame.channel;
  GrabCamera& camera = board.grab.cameras[c];
  if (camera.completing > 0) --camera.completing;
  if (fate == FrameFate::kDelivered) {
    ++camera.frames_completed;
  } else {
    ++camera.frames_dropped;
    if (!camera.drop_logged) {
      camera.drop_logged = true;
      board_log(kBoardLogWarning, "board " + std::to_string(board.index) + " camera " + std::to_string(c) + ": frame " +
                                      std::to_string(frame.number) + " dropped (" +
                                      (fate == FrameFate::kNoHostBuffer ? "no armed host buffer or no room for its messages"
                                                                        : "the board's frame queue is full") +
                                      "); further drops of this acquisition are only counted");
    }
  }
  raise_if_enabled(board, c, kEnableFrameEnd, kMainFrameEndBit);
  settle(camera);
}

bool grab_set_pixel_clock(Board& board, std::uint32_t c, bool present, GrabClock::time_point now) {
  if (!grab_camera_present(board, c)) return false;
  GrabCamera& camera = board.grab.cameras[c];
  if (camera.pixel_clock == present) return true;
  camera.pixel_clock = present;
  raise_main(board, kMainPixelClockBit + c);
  if (!present) {
    drop_frame(camera);
    return true;
  }
  if (!camera.in_progress) camera.next_start = now;
  try_start(board, c, now);
  return true;
}

bool grab_trigger(Board& board, std::uint32_t c, GrabClock::time_point now) {
  if (!grab_camera_present(board, c)) return false;
  GrabCamera& camera = board.grab.cameras[c];
  ++camera.triggers;
  if (camera.mode == GrabMode::kIdle || !camera.waiting_trigger) return true;
  camera.waiting_trigger = false;
  camera.group_left = camera.group_frames;
  if (!camera.in_progress) camera.next_start = now;
  try_start(board, c, now);
  return true;
}

}  // namespace plat::board
