// The front end's crop window of a camera input: the part of each camera
// frame that goes on into the acquisition path.
//
// Registers (camera c's at + c x 0x400; plain read/write registers, control_registers.h):
// - 0x1144 bit 0: the window is on;
// - 0x1148, 0x114C: first pixel + 1, first line + 1;
// - 0x1150, 0x1154: first pixel + width, first line + height.
// A frame starting while the window is on is the window's part of the
// camera's frame, taken where the window and the camera's frame overlap, its
// pattern that of the pixels it came from (dma_frames.h). The window is in
// the camera's pixels. Choices of ours where the library leaves the board's
// behaviour open: an axis whose end lies before its start (nothing was set
// for it) is not cut; a window wholly beyond the camera's frame leaves a
// frame of no pixels.
#pragma once

#include <cstdint>

#include "platform/board/camera_model.h"

namespace plat::board {

class Board;

inline constexpr std::uint32_t kRegCropEnable = 0x1144;
inline constexpr std::uint32_t kRegCropFirstPixel = 0x1148;
inline constexpr std::uint32_t kRegCropFirstLine = 0x114C;
inline constexpr std::uint32_t kRegCropEndPixel = 0x1150;
inline constexpr std::uint32_t kRegCropEndLine = 0x1154;

struct CropWindow {
  std::uint32_t first_pixel = 0, first_line = 0;
  std::uint32_t width = 0, height = 0;
};

// With the board's lock held: the window a frame of `camera` starting now takes.
CropWindow crop_window_of(const Board& board, std::uint32_t camera, const CameraModel& model);

}  // namespace plat::board
