#include "source/QelXfer/XferYatFlags.h"

#include <algorithm>
#include <array>

namespace {

constexpr QelStatus kFormatRefused = 0x48282B;
constexpr QelStatus kCounterModeZero = 0x4C01D2B;
constexpr QelStatus kCounterRefused = 0x4C01C2B;
constexpr QelStatus kCoefficientUseRefused = 0x4C01A2B;
constexpr QelStatus kPairCoefficientRefused = 0x4C0172B;
constexpr QelStatus kSelectionRefused = 0x470C2B;
constexpr std::uint32_t kCoefficientBufferCount = 8;
constexpr std::uint32_t kSelectedCoefficients = 1;
constexpr std::uint32_t kCountedCoefficients = 2;
constexpr std::uint32_t kMono1 = 0x1180100;

constexpr std::array<std::uint32_t, 5> kPackedFormats{0x611C2000, 0x3810800, 0x611E2000, 0x611D4000, 0x3821000};
constexpr std::array<std::uint32_t, 8> kPlanarFormats{0x61092000, 0x610B3000, 0x3010800, 0x3021000,
                                                      0x61132000, 0x3410800,  0x3421000, 0x610A2000};

template <std::size_t N>
bool OneOf(const std::array<std::uint32_t, N>& set, std::uint32_t format) {
  return std::find(set.begin(), set.end(), format) != set.end();
}

bool Bit(std::uint32_t word, std::uint32_t bit) { return ((word >> bit) & 1u) != 0; }

std::uint32_t ConnectorFlag(std::uint32_t connector) { return connector == 0 ? 0x4u : 0x4000u; }

// Whether buffer n (1-based) is among those a mask of buffers names.
bool Exists(std::uint32_t buffers, std::uint32_t n) { return n >= 1 && n <= 32 && Bit(buffers, n - 1); }

void Counter(const XferFlagInputs& in, XferFlagResult* out) {
  out->flags |= 0x2000;
  if (in.counterMode == 2) {
    if (in.counterValue == 0) {
      out->status = kCounterModeZero;
      return;
    }
    out->counter = in.elementIndex % in.counterValue + 1;
  } else {
    out->counter = in.counterMode == 1 ? in.counterValue : in.bufferCounter;
  }
  // The counter names the onboard buffer the board library reads the camera
  // insert from; one that does not exist is refused here, before it reads.
  if (!Exists(in.cameraInsertBuffers, out->counter)) out->status = kCounterRefused;
}

// Coefficient buffers 1, 2, ... that exist one after the other.
std::uint32_t CountedFromOne(std::uint32_t buffers) {
  std::uint32_t count = 0;
  while (count < kCoefficientBufferCount && Bit(buffers, count)) ++count;
  return count;
}

// The insert pieces of the coefficients: a whole frame of them for an area
// camera's buffer (its stored mode 1), one line for a line-scan's (mode 2),
// and which coefficient buffer the element's frame takes.
void FlatField(const XferFlagInputs& in, XferFlagResult* out) {
  out->flags |= in.mode == 1 ? (in.storedMode & 0x3u) : 0x2u;
  if (in.coefficientUse == kSelectedCoefficients) {
    out->insertIndex = in.selected;
    if (!Exists(in.coefficientBuffers, in.selected)) out->status = kSelectionRefused;
  } else if (in.coefficientUse == kCountedCoefficients) {
    const std::uint32_t count = CountedFromOne(in.coefficientBuffers);
    if (count == 0) {
      out->status = kCoefficientUseRefused;
      return;
    }
    out->insertIndex = in.elementIndex % count + 1;
  } else {
    out->insertIndex = in.pairCoefficient;
    if (!Exists(in.coefficientBuffers, in.pairCoefficient)) out->status = kPairCoefficientRefused;
  }
}

void SixteenBits(const XferFlagInputs& in, XferFlagResult* out) {
  if (in.depth != 16 || in.extension16 == 0) return;
  if (in.mode == 2 && in.busBits == 32) {
    if (in.outputBits == 16) out->flags |= 0x20000000;
    else if (in.outputBits == 8) out->flags |= 0x40000000;
  }
  if (in.connector > 1) {
    out->status = 86;
    return;
  }
  out->flags |= ConnectorFlag(in.connector);
  if (in.format == 0x610C2000 || in.format == 0x61192000 || in.format == 0x3C10800) out->flags |= 0x20;
  if (in.format == 0x3010800 || in.format == 0x3C10800) out->flags |= 0x80;
  if (((in.format >> 24) & 0xFu) == 3) out->flags |= 0x40;
}

}  // namespace

XferFlagResult XferStageFlags(const XferFlagInputs& in) {
  XferFlagResult out{0, 0, 0, QEL_OK};
  const std::uint32_t o = in.options;
  if (in.flatField) FlatField(in, &out);
  if (Bit(o, 0)) out.flags |= 0x400;
  if (Bit(o, 3)) Counter(in, &out);
  const bool packed = in.acquisition && OneOf(kPackedFormats, in.format);
  if (Bit(o, 4)) {
    out.flags |= 0x8000;
    if (in.acquisition && !packed) out.status = kFormatRefused;
  } else if (packed) {
    out.status = kFormatRefused;
  }
  if (Bit(o, 7)) out.flags |= 0x10000;
  if ((o & 0x0FFF8000u) != 0) out.flags |= 0x20000;
  if (Bit(o, 9)) out.flags |= 0x10;
  if (Bit(o, 10)) out.flags |= 0x40;
  if (Bit(o, 11)) out.flags |= 0x40000;
  if (Bit(o, 6) || Bit(o, 12)) {
    out.flags |= ConnectorFlag(in.connector);
    if (in.acquisition && !OneOf(kPlanarFormats, in.format)) out.status = kFormatRefused;
  }
  if (in.pixProRunning) out.flags |= 0x80000000;
  if (in.format == kMono1) out.flags |= 0x200;
  if (in.acquisition && (out.flags & 0x80000000u) == 0 && in.extension16 == 0 && in.depth != 16) out.flags |= 0x1000;
  SixteenBits(in, &out);
  return out;
}
