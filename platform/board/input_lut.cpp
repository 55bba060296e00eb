#include "platform/board/input_lut.h"

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kSecondCameraLutControl = kRegLutControl + kChannelStride;

std::uint32_t control_word(const Board& board, std::uint32_t camera) {
  if (camera == 0) return board.front_end.lut_control;
  std::uint32_t value = 0;
  return processing_units_read(board.processing, kSecondCameraLutControl, &value) ? value : 0;
}

}  // namespace

InputLut input_lut_of(const Board& board, std::uint32_t camera, std::uint32_t bytes_per_pixel) {
  InputLut lut;
  if (camera >= kFrontEndCameras || bytes_per_pixel != 1 || (control_word(board, camera) & kLutEnableBit) == 0)
    return lut;
  lut.active = true;
  const std::uint32_t base = kLutMemory + camera * kLutMemoryStride;
  for (std::uint32_t i = 0; i < lut.table.size(); ++i) {
    std::uint32_t entry = 0;
    memory_windows_read(board.windows, base + 4 * i, &entry);
    lut.table[i] = static_cast<std::uint8_t>(entry);
  }
  return lut;
}

void input_lut_apply(const InputLut& lut, std::span<std::uint8_t> pixels) {
  if (!lut.active) return;
  for (std::uint8_t& pixel : pixels) pixel = lut.table[pixel];
}

}  // namespace plat::board
