// The input LUT in the pixel path: between the camera and the acquisition
// DMA, the front end looks each pixel up in its camera's LUT memory. It does
// so while the camera's LUT control word has its enable bit (7): camera 0's
// word is 0x5004, camera 1's lies in the processing unit's data window
// (0x5404, processing_unit.h). The table is bank 0 of the camera's LUT memory
// (0x8000 + c x 0x2000, front_end.h), one 32-bit word per entry for an 8-bit
// camera, as the board library loads it; an 8-bit pixel becomes the low byte
// of its entry. The banks above 0 belong to the Bayer decoder, and pixels
// wider than a byte pass unchanged: the model looks up 8-bit pixels only.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace plat::board {

class Board;

inline constexpr std::uint32_t kLutEnableBit = 0x80;

struct InputLut {
  bool active = false;
  std::array<std::uint8_t, 256> table{};
};

// The LUT a frame of `camera` meets, with the board's lock held.
InputLut input_lut_of(const Board& board, std::uint32_t camera, std::uint32_t bytes_per_pixel);
// Looks every byte up (nothing when the LUT is not active).
void input_lut_apply(const InputLut& lut, std::span<std::uint8_t> pixels);

}  // namespace plat::board
