// The camera at the end of each Camera Link input: what it sends and how
// often. The grab controller (grab_controller.h) times its frames by it and
// fills them with camera_pattern (dma_frames.h).
//
// A frame starts every frame period while the camera is grabbing; its lines
// arrive during the first half of the period (the readout) and the frame ends
// there; the second half is blanking. The defaults are a small monochrome
// camera fast enough that a test grabbing ten frames takes a tenth of a
// second.
#pragma once

#include <chrono>
#include <cstdint>

namespace plat::board {

struct CameraModel {
  std::uint32_t width = 640;            // pixels per line
  std::uint32_t height = 480;           // lines per frame
  std::uint32_t taps = 1;               // pixels per clock
  std::uint32_t bits_per_pixel = 8;     // 8 to 16
  std::uint32_t frame_period_us = 10000;
};

// Limits of what a camera can be set to: a frame must fit what the
// acquisition path carries in one piece, and a period must leave the readout
// at least a microsecond.
inline constexpr std::uint32_t kCameraMaxWidth = 16384;
inline constexpr std::uint32_t kCameraMaxHeight = 16384;
inline constexpr std::uint32_t kCameraMaxTaps = 10;
inline constexpr std::uint32_t kCameraMinBits = 8;
inline constexpr std::uint32_t kCameraMaxBits = 16;
inline constexpr std::uint32_t kCameraMinPeriodUs = 2;
inline constexpr std::uint32_t kCameraMaxPeriodUs = 60'000'000;
inline constexpr std::uint64_t kCameraMaxFrameBytes = std::uint64_t{1} << 28;

bool camera_model_valid(const CameraModel& model);

// 1 for up to 8 bits per pixel, 2 above.
std::uint32_t camera_bytes_per_pixel(const CameraModel& model);

std::chrono::microseconds camera_frame_period(const CameraModel& model);
std::chrono::microseconds camera_readout_time(const CameraModel& model);

}  // namespace plat::board
