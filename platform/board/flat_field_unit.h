// The flat-field unit in the pixel path: after the input LUT, each pixel of a
// camera's frame is corrected by the offset and gain coefficients of its
// place, which the unit reads from on-board memory.
//
// - On while entry 0 of the camera's flat-field address table (0x5800 +
//   (c << 8), front_end.h) has bit 0 set; the rest of the entry (bit 0
//   cleared) is the on-board address of the coefficients. The server driver
//   writes the entry when it selects a coefficient buffer and clears it when
//   it ends the correction.
// - The flat-field format register (0x5008 of each camera, a write-only
//   register of control_registers.h) is taken and kept; the model follows the
//   pixel size of the frame instead of decoding it.
// - Coefficients: one per pixel, laid out like the frame, each line padded to
//   whole 16-byte bus words of pixels: for 8-bit pixels a 16-bit word (offset
//   in the low byte, gain in the high byte, a gain of 128 is 1), for two-byte
//   pixels two 16-bit words (offset, then gain; a gain of 0x8000 is 1).
//   Coefficient line y corrects frame line y.
// - A pixel p becomes ((p - offset) x gain) / unity, with p - offset taken as
//   0 below 0 and the result cut to the pixel's largest value.
#pragma once

#include <cstdint>
#include <span>

namespace plat::board {

class Board;

inline constexpr std::uint32_t kFlatFieldEnable = 0x1;
inline constexpr std::uint32_t kFlatFieldBusBytes = 16;

struct FlatField {
  bool active = false;
  std::uint32_t bytes_per_pixel = 1;
  std::uint64_t address = 0;     // of coefficient line 0
  std::uint64_t line_bytes = 0;  // of one coefficient line
};

// The unit as a frame of `camera` of `width` pixels meets it, with the board's lock held.
FlatField flat_field_of(const Board& board, std::uint32_t camera, std::uint32_t bytes_per_pixel,
                        std::uint32_t width);
// Corrects whole pixels of frame line y from frame byte x on (x on a pixel boundary).
void flat_field_apply(const Board& board, const FlatField& unit, std::uint64_t y, std::uint64_t x,
                      std::span<std::uint8_t> pixels);

}  // namespace plat::board
