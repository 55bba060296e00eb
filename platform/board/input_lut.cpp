#include "platform/board/input_lut.h"

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kSecondCameraLutControl = kRegLutControl + kChannelStride;
constexpr std::uint32_t kWidthField = 0xF;

std::uint32_t control_word(const Board& board, std::uint32_t camera) {
  if (camera == 0) return board.front_end.lut_control;
  std::uint32_t value = 0;
  return processing_units_read(board.processing, kSecondCameraLutControl, &value) ? value : 0;
}

std::uint32_t lut_word(const Board& board, std::uint32_t address) {
  std::uint32_t word = 0;
  memory_windows_read(board.windows, address, &word);
  return word;
}

void load_narrow(const Board& board, std::uint32_t base, InputLut* lut) {
  for (std::uint32_t i = 0; i < lut->table.size(); ++i) lut->table[i] = static_cast<std::uint8_t>(lut_word(board, base + 4 * i));
}

// 16-bit entries, two to a word of LUT memory, the lower entry first.
void load_wide(const Board& board, std::uint32_t base, std::uint32_t control, InputLut* lut) {
  const std::uint32_t input = control >> kLutInputWidthShift & kWidthField;
  const std::uint32_t output = control >> kLutOutputWidthShift & kWidthField;
  if (input != 10 && input != 12) return;
  lut->wide.resize(std::size_t{1} << input);
  for (std::uint32_t i = 0; i < lut->wide.size(); i += 2) {
    const std::uint32_t word = lut_word(board, base + 2 * i);
    lut->wide[i] = static_cast<std::uint16_t>(word);
    lut->wide[i + 1] = static_cast<std::uint16_t>(word >> 16);
  }
  if (output >= 8) lut->output_mask = static_cast<std::uint16_t>((1u << output) - 1);
  lut->active = true;
}

}  // namespace

InputLut input_lut_of(const Board& board, std::uint32_t camera, std::uint32_t bytes_per_pixel) {
  InputLut lut;
  lut.bytes_per_pixel = bytes_per_pixel;
  if (camera >= kFrontEndCameras || (bytes_per_pixel != 1 && bytes_per_pixel != 2)) return lut;
  const std::uint32_t control = control_word(board, camera);
  if ((control & kLutEnableBit) == 0) return lut;
  const std::uint32_t base = kLutMemory + camera * kLutMemoryStride;
  if (bytes_per_pixel == 2) {
    load_wide(board, base, control, &lut);
    return lut;
  }
  lut.active = true;
  load_narrow(board, base, &lut);
  return lut;
}

void input_lut_apply(const InputLut& lut, std::span<std::uint8_t> pixels) {
  if (!lut.active) return;
  if (lut.bytes_per_pixel == 1) {
    for (std::uint8_t& pixel : pixels) pixel = lut.table[pixel];
    return;
  }
  const std::size_t mask = lut.wide.size() - 1;
  for (std::size_t i = 0; i + 1 < pixels.size(); i += 2) {
    const std::size_t value = (pixels[i] | std::size_t{pixels[i + 1]} << 8) & mask;
    const std::uint16_t entry = lut.wide[value] & lut.output_mask;
    pixels[i] = static_cast<std::uint8_t>(entry);
    pixels[i + 1] = static_cast<std::uint8_t>(entry >> 8);
  }
}

}  // namespace plat::board
