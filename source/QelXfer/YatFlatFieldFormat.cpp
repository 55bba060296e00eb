#include "source/QelXfer/YatAcqBuffers.h"

QelStatus YatFlatFieldFormatOf(std::uint32_t depth, std::uint32_t bits, YatFlatFieldFormat* out) {
  constexpr std::uint32_t kMono8 = 0x1010800, kMono16 = 0x1021000, kColour = 0x610A2000;
  const bool wide = bits == 10 || bits == 12 || bits == 14 || bits == 16;
  switch (depth) {
    case 1:
      if (bits <= 8) *out = {kMono8, 1};
      else if (wide) *out = {kMono16, 10};
      else return kYatBufferBits;
      return 0;
    case 16:
      if (bits <= 8) *out = {kMono8, 12};
      else if (bits == 10) *out = {kMono16, 13};
      else if (wide) *out = {kMono16, 10};
      else return kYatBufferBits;
      return 0;
    case 8:
      if (bits != 10) return kYatBufferBits;
      *out = {kColour, 6};
      return 0;
    default:
      *out = {0, 0};
      return 0;
  }
}
