// Packer settings of a video format: conversions the front end does for us,
// the lane map, the lane mask, the mode and shift words, and the register
// writes through the masked register table.
#include "driver/user/YatPacker.h"

#include <algorithm>
#include <initializer_list>

#include "driver/kernel/YatTransferRecords.h"

namespace {

constexpr std::uint32_t N = YAT_PACKER_NO_LANE;
constexpr std::uint32_t E = YAT_PACKER_EMPTY_SLOT;
using LaneRow = std::array<std::uint32_t, YAT_PACKER_LANES>;

constexpr std::array<LaneRow, 11> kLanesCamera0 = {{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                                    {0, 2, 3, 4, 5, 6, N, N, N, N},
                                                    {0, 2, 3, 4, 5, N, N, N, N, N},
                                                    {0, 2, 4, 6, N, N, N, N, N, N},
                                                    {0, 2, 3, 4, N, N, N, N, N, N},
                                                    {0, 1, 2, N, N, N, N, N, N, N},
                                                    {0, 2, 3, N, N, N, N, N, N, N},
                                                    {0, 1, 2, E, 0, 1, 2, E, N, N},
                                                    {0, 2, 3, N, N, N, N, N, N, N},
                                                    {0, 1, 2, E, 3, 4, 5, E, N, N},
                                                    {0, 2, 3, N, N, N, N, N, N, N}}};
constexpr LaneRow kNoLanes = {N, N, N, N, N, N, N, N, N, N};
constexpr std::array<LaneRow, 11> kLanesCamera1 = {{{0, 1, 2, N, N, N, N, N, N, N},
                                                    {0, 2, N, N, N, N, N, N, N, N},
                                                    {0, 2, N, N, N, N, N, N, N, N},
                                                    {0, 2, N, N, N, N, N, N, N, N},
                                                    {0, 2, 3, N, N, N, N, N, N, N},
                                                    {0, 1, 2, N, N, N, N, N, N, N},
                                                    kNoLanes,
                                                    {0, 1, 2, E, 0, 1, 2, E, N, N},
                                                    kNoLanes,
                                                    kNoLanes,
                                                    kNoLanes}};

struct MaskRow {
  std::uint32_t reg, a, b, c;
};
constexpr MaskRow kMasks[] = {
    {0x3000, 0x800001FF, 0x80000007, 0x00000007}, {0x3004, 0x800003FF, 0x80000007, 0x00000007},
    {0x3008, 0xFFFFFFFF, 0xE00001FF, 0xE00001FF}, {0x300C, 0x3FFFFFFF, 0x000001FF, 0x000001FF},
    {0x3010, 0x000003FF, 0x00000007, 0x00000007}, {0x3014, 0x000003FF, 0, 0},
    {0x3038, 0x00000003, 0x00000003, 0x00000003}, {0x0C00, 0x800011FF, 0x80000007, 0x00000038},
    {0x0C20, 0x000000FF, 0x000000FF, 0},          {0x0C24, 0x0000FFFF, 0x0000FFFF, 0}};

bool In(std::uint32_t value, std::initializer_list<std::uint32_t> set) {
  return std::find(set.begin(), set.end(), value) != set.end();
}
bool Monochrome(std::uint32_t kind) { return kind != YAT_COLOUR_KIND; }

bool AllTapsHave(const YatPackerFormat& f, std::uint32_t first, std::uint32_t count, std::uint32_t bit) {
  for (std::uint32_t t = first; t < first + count; ++t)
    if ((f.tapFlags[t] & bit) == 0) return false;
  return true;
}

// Formats the front end reshapes before the packer sees them. Answers P;
// *converted tells whether the packer gets the frame width as well.
std::uint32_t Convert(std::uint32_t flags, YatPackerFormat* f, std::uint32_t* code, bool* converted) {
  const auto toEightTaps = [&] {
    f->depth = 8;
    f->taps = 8;
    f->geometry = YAT_GEOMETRY_PACKED;
    *code = 1;
    *converted = true;
    return 1u;
  };
  *converted = false;
  const bool segmented = f->geometry == YAT_GEOMETRY_SEGMENTED;
  if ((flags & YAT_FPGA_WIDE_FRONT_END) != 0 && f->taps == 4 && segmented && f->depth == 16) return toEightTaps();
  if ((flags & YAT_FPGA_EIGHT_LANES) != 0 && f->taps == 8 && segmented && f->depth == 8 && AllTapsHave(*f, 0, 8, 1))
    return toEightTaps();
  if ((flags & YAT_FPGA_EIGHT_LANES) != 0 && f->taps == 4 && segmented && f->depth >= 9) {
    std::uint32_t variant = 0;
    if (AllTapsHave(*f, 0, 4, 1)) variant = 1;
    else if (AllTapsHave(*f, 0, 2, 1) && AllTapsHave(*f, 2, 2, 2)) variant = 2;
    if (variant == 0) return 0;
    f->geometry = YAT_GEOMETRY_PACKED;
    *converted = true;
    return (variant << 4) | 1;
  }
  if ((flags & (YAT_FPGA_WIDE_FRONT_END | YAT_FPGA_EIGHT_LANES)) == 0 && f->taps == 3 &&
      f->geometry == YAT_GEOMETRY_PACKED && f->depth == 8) {
    *code = 1;
    *converted = true;
    return 1;
  }
  return 0;
}

// Lanes and bits per lane of a colour format; false for codes the packer cannot take.
bool ColourLanes(std::uint32_t code, const YatPackerFormat& f, std::uint32_t* lanes, std::uint32_t* depth) {
  if (In(code, {6, 15, 23, 24})) {
    *depth *= 4;
    *lanes = 4 * f.taps * (*depth >= 64 ? 2 : 1);
  } else if (In(code, {11, 27})) {
    *depth = 32;
    *lanes = 4;
  } else if (In(code, {16, 25})) {
    *depth = 64;
    *lanes = 4;
  } else if (code == 21) {
    *depth = 48;
    *lanes = 3;
  } else if (In(code, {22, 26})) {
    *depth = 64;
    *lanes = f.depth >= 14 ? 8 : 4;
  } else {
    return false;
  }
  return true;
}

std::uint32_t LaneKind(const YatPackerFormat& f, std::uint32_t code, std::uint32_t depth, bool doubled) {
  const bool fewTaps = f.channelCount <= 1 || f.taps < 5;
  if (Monochrome(f.colourKind)) {
    if (In(depth, {10, 12, 14})) return fewTaps ? (depth == 10 ? 1 : 2) : 0;
    if (depth == 16) return fewTaps ? (doubled ? 4 : 2) : 0;
    return 0;
  }
  if (f.depth == 10) return code == 22 ? 10 : 6;
  if (f.depth == 12) return 10;
  if (f.depth == 14 || f.depth == 16) return 0;
  if (code == 6 || code == 15) return f.taps == 1 ? 7 : 9;
  return 5;
}

LaneRow LaneMap(const YatPackerTarget& t, const YatPackerFormat& f, std::uint32_t kind) {
  LaneRow map = kNoLanes;
  if (f.laneMode == 0) {
    map[0] = 0;
    map[1] = 1;
    return map;
  }
  const LaneRow& row = (t.camera == 1 ? kLanesCamera1 : kLanesCamera0)[kind];
  if (f.laneMode != 8 || f.taps > 5) return row;
  const std::uint32_t skipAt = f.depth == 8 ? 2 : 3;
  for (std::uint32_t i = 0, from = 0; i < YAT_PACKER_LANES; ++i, ++from) {
    if (i == skipAt - 1) ++from;
    map[i] = from < YAT_PACKER_LANES ? row[from] : N;
  }
  if (f.depth == 16 && map[1] < E) map[1] += 1;
  return map;
}

std::uint32_t LaneMask(const YatPackerFormat& f, std::uint32_t code, const LaneRow& map, std::uint32_t lanes) {
  if (f.geometry == YAT_GEOMETRY_PACKED && f.depth == 8 && f.taps == 3 && Monochrome(f.colourKind)) return 5;
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < lanes && i < YAT_PACKER_LANES; ++i) mask |= map[i] >= E ? 1u : 1u << map[i];
  if (!Monochrome(f.colourKind) && In(code, {6, 11, 16, 25, 27}) && f.depth == 10) mask |= 0x80000000;
  if (f.geometry == YAT_GEOMETRY_PACKED && In(f.depth, {14, 16}) && f.taps == 4) mask |= 0xFF;
  return mask;
}

std::uint32_t ModeWord(const YatPackerTarget& t, const YatPackerFormat& f, std::uint32_t code) {
  if (!Monochrome(f.colourKind)) return 5;
  const bool interleavedPair = f.geometry == YAT_GEOMETRY_INTERLEAVED && f.taps >= 2;
  if (f.geometry == YAT_GEOMETRY_PACKED && f.taps >= 3) return 5;
  const std::uint32_t depth = f.depth * ((f.geometry == YAT_GEOMETRY_PACKED && f.taps == 2) || interleavedPair ? 2 : 1);
  const bool lutless = code == 1 && !t.backEndLut;
  std::uint32_t q = 5;
  if (depth == 8) q = In(code, {1, 6, 15, 17, 18, 19, 20, 23, 24, 28, 29}) ? 0 : 4;
  else if (depth == 10) q = lutless ? 0 : 1;
  else if (depth == 12) q = lutless ? 0 : 2;
  else if (depth == 14) q = 3;
  else if (depth == 16) q = (f.optionWord & 1) != 0 && f.depth == 8 ? 6 : 4;
  if (interleavedPair && f.depth == 8) q |= 0xC0000000 | (f.laneMode == 8 ? 0x20000000 : 0);
  return q;
}

std::uint32_t ShiftWord(const YatPackerTarget& t, const YatPackerFormat& f, std::uint32_t code) {
  if ((t.fpgaFlags & YAT_FPGA_WIDE_FRONT_END) != 0) return 0x124;
  std::uint32_t depth = f.depth;
  if (f.geometry == YAT_GEOMETRY_INTERLEAVED && f.taps >= 2 && f.depth == 8) depth *= 2;
  if (f.geometry == YAT_GEOMETRY_PACKED && f.taps < 4 && f.depth == 8) depth *= f.taps;
  const bool lanes8 = f.laneMode == 8, camera1 = t.camera == 1;
  std::uint32_t s = 0;
  if (depth == 10) s = lanes8 ? 0x69 : camera1 ? 0x16D : 0x49;
  else if (depth == 12) s = lanes8 ? 0xB2 : camera1 ? 0x1B6 : 0x92;
  else if (depth == 14) s = 0xDB;
  else if (depth == 16) s = 0x124;
  else if (depth == 24) s = 0x3F;
  if (f.taps > 2 && f.depth >= 14 && (t.fpgaFlags & YAT_FPGA_WIDE_PACKING) != 0) s += 0x1000;
  if ((f.packingKind == 4 || f.packingKind == 5) && YatBytesPerPixel(code) >= 3) s |= 0x80000000;
  return s;
}

// The front-end word, or false when this input takes none.
bool FrontEndWord(const YatPackerTarget& t, const YatPackerFormat& f, std::uint32_t shift, std::uint32_t depth,
                  std::uint32_t* word) {
  if (t.tag == YAT_ACQ_TAG_LVDS) {
    const bool pair = (f.geometry == YAT_GEOMETRY_INTERLEAVED && f.taps >= 2) ||
                      (f.geometry == YAT_GEOMETRY_PACKED && f.taps == 2);
    switch (f.depth) {
      case 10: *word = Monochrome(f.colourKind) ? 1 : 9; break;
      case 12: *word = 2; break;
      case 14: *word = 3; break;
      case 16: *word = 4; break;
      default: *word = pair ? 4 : 0;
    }
  } else if (t.tag == YAT_ACQ_TAG_BASE) {
    *word = f.laneMode == 128 ? 1 : shift;
  } else {
    return false;
  }
  if (depth >= 56 && Monochrome(f.colourKind)) *word &= 0x80000000;
  return true;
}

std::uint32_t ModeFields(std::uint32_t mode, std::uint32_t first) {
  std::uint64_t fields = 0;
  for (std::uint32_t i = 0; i < YAT_PACKER_LANES; ++i) fields |= std::uint64_t{mode & 7} << (3 * (first + i));
  return (static_cast<std::uint32_t>(fields) & 0x1FFFFFFF) | (mode & 0xE0000000);
}

void Write(const YatPackerTarget& t, const YatPackerFormat& f, std::uint32_t reg, std::uint32_t value,
           YatPackerPlan* plan) {
  const bool frontEnd = reg >= 0x0C00 && reg <= 0x0C4C;
  const std::uint32_t window = frontEnd || !t.perCameraRegisters ? 0 : t.camera;
  plan->writes.push_back({window, reg, value, Yat_Packer_RegisterMask(reg, f.laneMode, t.camera, t.acqChannels)});
}

}  // namespace

std::uint32_t Yat_Packer_RegisterMask(std::uint32_t reg, std::uint32_t laneMode, std::uint32_t camera,
                                      std::uint32_t acqChannels) {
  for (const MaskRow& row : kMasks) {
    if (row.reg != reg) continue;
    if (laneMode == 0) return row.b;
    if (laneMode == 1 && acqChannels >= 2) return camera == 0 ? row.b : camera == 1 ? row.c : 0xFFFFFFFF;
    return row.a;
  }
  return 0xFFFFFFFF;
}

QelHwStatus Yat_Packer_Plan(const YatPackerTarget& t, const YatPackerFormat& format, std::uint32_t code,
                            YatPackerPlan* plan) {
  if (plan == nullptr) return QELHW_ERROR_ARG_INVALID;
  *plan = YatPackerPlan{};
  YatPackerFormat f = format;
  bool converted = false;
  const std::uint32_t conversion = Convert(t.fpgaFlags, &f, &code, &converted);
  if (t.tag != YAT_ACQ_TAG_WIDE) {
    Write(t, f, YAT_PACKER_CONVERTED_WIDTH, converted ? f.frameWidth : 0, plan);
    Write(t, f, YAT_PACKER_CONVERSION, conversion, plan);
  } else {
    f.frameWidth *= f.taps;
    f.taps = 1;
  }
  std::uint32_t lanes = std::max<std::uint32_t>(f.taps, 1) * (f.tapMultiplier > 1 ? f.tapMultiplier : 1);
  std::uint32_t depth = f.depth;
  bool doubled = false;
  if (f.geometry == YAT_GEOMETRY_INTERLEAVED && lanes >= 2 && f.depth == 8) {
    lanes /= 2;
    depth *= 2;
    doubled = true;
  }
  if (!Monochrome(f.colourKind) && !ColourLanes(code, f, &lanes, &depth)) return QELHW_ERROR_ARG_INVALID;
  const LaneRow map = LaneMap(t, f, LaneKind(f, code, depth, doubled));
  if (f.geometry == YAT_GEOMETRY_PACKED) {
    depth *= lanes;
    lanes = 1;
  }
  if (f.depth == 8 && f.taps == 2) lanes = 1;
  plan->format = f;
  plan->code = code;
  plan->lanes = lanes;
  plan->depth = depth;
  plan->laneMap = map;
  plan->laneMask = LaneMask(f, code, map, lanes);
  plan->mode = ModeWord(t, f, code);
  plan->shift = ShiftWord(t, f, code);
  Write(t, f, YAT_PACKER_SHIFT, plan->shift, plan);
  if (std::uint32_t word = 0; FrontEndWord(t, f, plan->shift, depth, &word)) Write(t, f, YAT_PACKER_FRONT_END, word, plan);
  Write(t, f, YAT_PACKER_LANE_MASK, plan->laneMask, plan);
  Write(t, f, YAT_PACKER_MODE, ModeFields(plan->mode, map[0] < E ? map[0] : 0), plan);
  Write(t, f, YAT_PACKER_CAMERA, t.perCameraRegisters ? 0 : t.camera * 0x09249249, plan);
  Write(t, f, YAT_PACKER_CAMERA_MASK + (t.perCameraRegisters ? 0 : 4 * t.camera), plan->laneMask, plan);
  return QELHW_OK;
}

QelHwStatus Yat_Packer_EntryCount(const YatPackerFormat& f, std::uint32_t code, std::uint32_t* count) {
  if (count == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t lanes = std::max<std::uint32_t>(f.taps, 1);
  if (f.tapMultiplier >= 2) lanes = f.taps * f.tapMultiplier * (f.modeWord == 1 ? 2 : 1);
  std::uint32_t depth = f.depth;
  if (f.geometry == YAT_GEOMETRY_INTERLEAVED && lanes >= 2 && f.depth == 8) {
    lanes /= 2;
    depth *= 2;
  }
  if (!Monochrome(f.colourKind)) depth = f.depth < 16 && code != 22 ? 32 : 64;
  if (f.geometry != YAT_GEOMETRY_PACKED) {
    const std::uint32_t multiplier = std::max<std::uint32_t>(f.tapMultiplier, 1);
    *count = f.geometry == YAT_GEOMETRY_INTERLEAVED && f.taps >= 2 ? f.taps / 2 * multiplier : lanes;
  } else if ((f.depth > 8 && f.taps == 4) || (f.depth == 8 && f.taps == 3)) {
    *count = 1;
  } else {
    const std::uint32_t bits = std::max<std::uint32_t>((depth * lanes + 7) / 8 * 8, 8);
    const std::uint32_t per = 64 / bits + (64 % bits != 0 ? 1 : 0);
    std::uint32_t entries = 0, rest = 0;
    do {
      ++entries;
      rest = per * bits + rest - 64;
    } while (entries < 10 && rest != 0 && rest != bits);
    *count = entries;
  }
  return *count > 10 ? QELHW_ERROR_ARG_INVALID : QELHW_OK;
}
