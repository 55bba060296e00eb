#include "platform/board/crop_window.h"

#include <algorithm>

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

struct Axis {
  std::uint32_t first, length;
};

// One axis of the window, from its one-based start and its end, within `size`.
Axis cut(std::uint32_t start, std::uint32_t end, std::uint32_t size) {
  if (start == 0 || end < start) return Axis{0, size};
  const std::uint32_t first = std::min(start - 1, size);
  return Axis{first, std::min(end, size) - first};
}

std::uint32_t word(const Board& board, std::uint32_t camera, std::uint32_t offset) {
  std::uint32_t value = 0;
  control_registers_peek(board.registers, offset + camera * kChannelStride, &value);
  return value;
}

}  // namespace

CropWindow crop_window_of(const Board& board, std::uint32_t camera, const CameraModel& model) {
  if ((word(board, camera, kRegCropEnable) & 1) == 0) return CropWindow{0, 0, model.width, model.height};
  const Axis x = cut(word(board, camera, kRegCropFirstPixel), word(board, camera, kRegCropEndPixel), model.width);
  const Axis y = cut(word(board, camera, kRegCropFirstLine), word(board, camera, kRegCropEndLine), model.height);
  return CropWindow{x.first, y.first, x.length, y.length};
}

}  // namespace plat::board
