// The input LUT in the pixel path: between the camera and the acquisition
// DMA, the front end looks each pixel up in its camera's LUT memory. It does
// so while the camera's LUT control word has its enable bit (7): camera 0's
// word is 0x5004, camera 1's lies in the processing unit's data window
// (0x5404, processing_unit.h). The table is bank 0 of the camera's LUT memory
// (0x8000 + c x 0x2000, front_end.h), as the board library loads it:
// - an 8-bit camera: one 32-bit word per entry; the pixel becomes the low
//   byte of its entry;
// - a camera of two bytes a pixel: the control word's bits 8-11 name the
//   LUT's input width (10 or 12 bits), and the table holds 1 << width
//   16-bit entries; the pixel (low byte first) is cut to the input width,
//   looked up, and its entry cut to the output width of bits 12-15 (8 to
//   16; another value keeps all 16 bits). The pixel keeps its two bytes
//   whatever the output width: the model leaves the packing of narrower
//   outputs to the pixel packer. Another input width leaves the pixels
//   unchanged.
// The banks above 0 belong to the Bayer decoder.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace plat::board {

class Board;

inline constexpr std::uint32_t kLutEnableBit = 0x80;
inline constexpr std::uint32_t kLutInputWidthShift = 8;
inline constexpr std::uint32_t kLutOutputWidthShift = 12;

struct InputLut {
  bool active = false;
  std::uint32_t bytes_per_pixel = 1;
  std::array<std::uint8_t, 256> table{};  // 8-bit pixels
  std::vector<std::uint16_t> wide;        // two-byte pixels: 1 << input width entries
  std::uint16_t output_mask = 0xFFFF;
};

// The LUT a frame of `camera` meets, with the board's lock held.
InputLut input_lut_of(const Board& board, std::uint32_t camera, std::uint32_t bytes_per_pixel);
// Looks every pixel up (nothing when the LUT is not active). Two-byte pixels
// must start at the span's first byte and fill it.
void input_lut_apply(const InputLut& lut, std::span<std::uint8_t> pixels);

}  // namespace plat::board
