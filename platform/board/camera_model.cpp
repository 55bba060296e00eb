#include "platform/board/camera_model.h"

namespace plat::board {

bool camera_model_valid(const CameraModel& model) {
  if (model.width == 0 || model.width > kCameraMaxWidth) return false;
  if (model.height == 0 || model.height > kCameraMaxHeight) return false;
  if (model.taps == 0 || model.taps > kCameraMaxTaps) return false;
  if (model.bits_per_pixel < kCameraMinBits || model.bits_per_pixel > kCameraMaxBits) return false;
  if (model.frame_period_us < kCameraMinPeriodUs || model.frame_period_us > kCameraMaxPeriodUs) return false;
  return std::uint64_t{model.width} * model.height * camera_bytes_per_pixel(model) <= kCameraMaxFrameBytes;
}

std::uint32_t camera_bytes_per_pixel(const CameraModel& model) { return model.bits_per_pixel > 8 ? 2 : 1; }

std::chrono::microseconds camera_frame_period(const CameraModel& model) {
  return std::chrono::microseconds(model.frame_period_us);
}

std::chrono::microseconds camera_readout_time(const CameraModel& model) {
  return std::chrono::microseconds(model.frame_period_us / 2);
}

}  // namespace plat::board
