#include "platform/board/flat_field_unit.h"

#include <algorithm>
#include <vector>

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kNarrowUnity = 128;
constexpr std::uint32_t kWideUnity = 0x8000;

std::uint32_t corrected(std::uint32_t pixel, std::uint32_t offset, std::uint32_t gain, std::uint32_t unity,
                        std::uint32_t largest) {
  const std::uint64_t above = pixel > offset ? pixel - offset : 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(above * gain / unity, largest));
}

}  // namespace

FlatField flat_field_of(const Board& board, std::uint32_t camera, std::uint32_t bytes_per_pixel,
                        std::uint32_t width) {
  FlatField unit;
  if (camera >= kFrontEndCameras || (bytes_per_pixel != 1 && bytes_per_pixel != 2)) return unit;
  const std::uint32_t entry = board.front_end.flat_field[camera * kFlatFieldEntries];
  if ((entry & kFlatFieldEnable) == 0) return unit;
  const std::uint64_t frame_bytes = std::uint64_t{width} * bytes_per_pixel;
  const std::uint64_t padded = (frame_bytes + kFlatFieldBusBytes - 1) / kFlatFieldBusBytes * kFlatFieldBusBytes;
  unit.active = true;
  unit.bytes_per_pixel = bytes_per_pixel;
  unit.address = entry & ~kFlatFieldEnable;
  unit.line_bytes = padded * 2;
  return unit;
}

void flat_field_apply(const Board& board, const FlatField& unit, std::uint64_t y, std::uint64_t x,
                      std::span<std::uint8_t> pixels) {
  if (!unit.active) return;
  const std::size_t count = pixels.size() / unit.bytes_per_pixel;
  std::vector<std::uint8_t> words(count * 2 * unit.bytes_per_pixel);
  onboard_memory_copy_out(board.onboard, unit.address + y * unit.line_bytes + x * 2, words.data(), words.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (unit.bytes_per_pixel == 1) {
      pixels[i] = static_cast<std::uint8_t>(corrected(pixels[i], words[2 * i], words[2 * i + 1], kNarrowUnity, 0xFF));
      continue;
    }
    const std::uint8_t* c = &words[4 * i];
    const std::uint32_t pixel = pixels[2 * i] | std::uint32_t{pixels[2 * i + 1]} << 8;
    const std::uint32_t value = corrected(pixel, c[0] | c[1] << 8, c[2] | c[3] << 8, kWideUnity, 0xFFFF);
    pixels[2 * i] = static_cast<std::uint8_t>(value);
    pixels[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
  }
}

}  // namespace plat::board
