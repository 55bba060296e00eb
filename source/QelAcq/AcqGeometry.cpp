// Frame geometry and timing checks. Sums and products are taken in 64 bits:
// a window whose position plus size wrapped past 2^32 would otherwise pass
// for a small one.
#include "source/QelAcq/AcqGeometry.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>
#include <utility>

#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqValidatorKit.h"

namespace {

using namespace acq_rules;

constexpr std::array<std::uint32_t, 9> kHorizontalGroup = {2100, 10, 11, 15, 21, 2065, 2067, 2069, 2071};
constexpr std::array<std::uint32_t, 11> kVerticalGroup = {3, 2105, 2099, 12, 13, 19, 23, 2066, 2068, 2070, 2072};

// A group's bits are cleared when its check leaves, whatever it answers.
class GroupBits {
 public:
  GroupBits(const View& view, std::span<const std::uint32_t> group) : view_(view), group_(group) {}
  ~GroupBits() { view_.clear(group_); }
  GroupBits(const GroupBits&) = delete;
  GroupBits& operator=(const GroupBits&) = delete;

 private:
  const View& view_;
  std::span<const std::uint32_t> group_;
};

// One timing value against capabilities (minimum, maximum, step).
struct Timing {
  std::uint32_t index, minCap, maxCap, stepCap;
};

Detail CheckTimings(const View& v, std::initializer_list<Timing> timings) {
  for (const Timing& t : timings) {
    const Detail detail = RangeStep(v, t.index, v.prm(t.index), t.minCap, t.maxCap, t.stepCap);
    if (detail != 0) return detail;
  }
  return 0;
}

// The mode word of a group: a mode of the mask; with bit 2 of the mask both
// mode words must agree.
Detail CheckModeWord(const View& v, std::uint32_t own, std::uint32_t other, std::uint32_t maskCap) {
  const std::uint32_t mode = v.prm(own), mask = v.cap(maskCap);
  if ((mode & mask) == 0 || ((mask & 4) != 0 && mode != v.prm(other))) return QelStatusMake(own, kAcqKindNotSupported);
  return 0;
}

// The parameter a refusal of a sum names: the first of the candidates whose
// value is not 0, else the last resort.
std::uint32_t FirstNonZero(std::initializer_list<std::pair<std::uint32_t, std::uint64_t>> candidates,
                           std::uint32_t otherwise) {
  for (const auto& [index, value] : candidates)
    if (value != 0) return index;
  return otherwise;
}

bool IsPowerOfTwo(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

struct Scaling {
  std::uint32_t zoomPrm, outPrm;
  std::uint32_t zoomMaskCap, outMinCap, outMaxCap, outStepCap, lowerCap, upperCap;
};
constexpr Scaling kHorizontalScaling = {2071, 2069, 2113, 2114, 2115, 2116, 2117, 2118};
constexpr Scaling kVerticalScaling = {2072, 2070, 2119, 2120, 2121, 2122, 2123, 2124};

// Scaling of a window size to an output size: the output in its range and
// step, within the ratio bounds (upper halves of two capabilities; a bound of 0
// is no bound at all and is refused naming its capability), and, for the
// zoomed checks with a zoom of 8, a power-of-two ratio.
Detail CheckScaling(const View& v, const Scaling& s, std::uint64_t size, std::uint32_t out, bool zoomed) {
  const std::uint32_t zoom = v.prm(s.zoomPrm);
  const bool zoomRefused = zoomed && (zoom & v.cap(s.zoomMaskCap)) == 0;
  Detail detail = RangeStep(v, s.outPrm, out, s.outMinCap, s.outMaxCap, s.outStepCap);
  if (detail != 0) return detail;
  if (zoomRefused) return QelStatusMake(s.zoomPrm, kAcqKindNotSupported);
  const std::uint32_t lower = v.cap(s.lowerCap) >> 16, upper = v.cap(s.upperCap) >> 16;
  if (lower == 0) return CapNotInitialised(s.lowerCap);
  if (upper == 0) return CapNotInitialised(s.upperCap);
  if (out < size / lower || out > size * upper) return QelStatusMake(s.outPrm, kQelKindOutOfRange);
  if (zoomed && zoom == 8) {
    const std::uint64_t larger = std::max<std::uint64_t>(size, out), smaller = std::min<std::uint64_t>(size, out);
    if (smaller == 0 || larger % smaller != 0 || !IsPowerOfTwo(larger / smaller))
      return QelStatusMake(s.outPrm, kAcqKindNotSupported);
  }
  return 0;
}

// A window inside the active line or frame: start X (or Y) and size W (or H),
// each in its range and step, each measured also from the sync (after the
// blanking `lead`) against the second capabilities, and neither past `limit`.
struct Window {
  std::uint32_t startPrm, sizePrm;
  Timing start, startFromSync, size, endFromSync;
  std::uint32_t leadPrms[2], lastResort;
};
constexpr Window kHorizontalWindow = {2065, 2067, {2065, 2100, 2101, 2102}, {0, 2150, 2151, 2152},
                                      {2067, 2107, 2108, 2109}, {0, 2156, 2157, 2158}, {21, 15}, 11};
constexpr Window kVerticalWindow = {2066, 2068, {2066, 2104, 2105, 2106}, {0, 2153, 2154, 2155},
                                    {2068, 2110, 2111, 2112}, {0, 2159, 2160, 2161}, {23, 19}, 13};

Detail CheckWindow(const View& v, const Window& w, std::uint64_t start, std::uint64_t size, std::uint64_t lead,
                   std::uint64_t limit) {
  const std::uint64_t lead0 = v.prm(w.leadPrms[0]), lead1 = v.prm(w.leadPrms[1]);
  Detail detail = RangeStep(v, w.startPrm, start, w.start.minCap, w.start.maxCap, w.start.stepCap);
  if (detail != 0) return detail;
  const std::uint32_t startNamed = FirstNonZero({{w.startPrm, start}, {w.leadPrms[0], lead0}, {w.leadPrms[1], lead1}},
                                                w.lastResort);
  detail = RangeStep(v, startNamed, lead + start, w.startFromSync.minCap, w.startFromSync.maxCap,
                     w.startFromSync.stepCap);
  if (detail != 0) return detail;
  if (start > limit) return QelStatusMake(w.startPrm, kQelKindOutOfRange);
  detail = RangeStep(v, w.sizePrm, size, w.size.minCap, w.size.maxCap, w.size.stepCap);
  if (detail != 0) return detail;
  const std::uint32_t endNamed = FirstNonZero(
      {{w.sizePrm, size}, {w.startPrm, start}, {w.leadPrms[0], lead0}, {w.leadPrms[1], lead1}}, w.lastResort);
  detail = RangeStep(v, endNamed, lead + start + size, w.endFromSync.minCap, w.endFromSync.maxCap,
                     w.endFromSync.stepCap);
  if (detail != 0) return detail;
  return start + size > limit ? QelStatusMake(w.sizePrm, kQelKindOutOfRange) : 0;
}

// Area-scan vertical checks. Y and H are counted in lines of one field: divided
// by d (two fields, or the tap rows). The second window checks compare the
// window's start and end measured from the sync (CAM 23 + CAM 19 + Y, and that
// plus H, with CAM 13 when the mode is 1), as the horizontal checks do: a
// check of Y or H alone would accept a window whose end lies past the frame's
// last line.
Detail AcqCheckVerticalGeometry(const View& v) {
  std::uint32_t d = 1;
  if (v.prm(1) == 1)
    d = (v.prm(2073) & 0x18) != 0 ? 1 : 2;
  else if (v.prm(0) != 0)
    d = v.prm(0) & 0xFF;
  const auto perField = [d](std::uint32_t value) { return d == 0 ? value : value / d; };

  Detail detail = CheckModeWord(v, 2099, 2100, 2149);
  if (detail == 0) detail = CheckTimings(v, {{12, 16, 17, 18}, {13, 19, 20, 21}, {19, 31, 32, 33}, {23, 43, 44, 45}});
  if (detail != 0) return detail;
  std::uint64_t height = 0;
  if (v.cap(2103) != 0) {
    const std::uint64_t y = perField(v.prm(2066));
    height = perField(v.prm(2068));
    const std::uint64_t lead = std::uint64_t{v.prm(23)} + v.prm(19) + (v.prm(2099) == 1 ? v.prm(13) : 0);
    detail = CheckWindow(v, kVerticalWindow, y, height, lead, v.prm(12));
    if (detail != 0) return detail;
  }
  if (v.cap(2163) != 0 && v.prm(2072) != 1) return CheckScaling(v, kVerticalScaling, height, perField(v.prm(2070)), true);
  return 0;
}

// Line-scan vertical checks: the window's Y and H each against both ranges.
Detail AcqCheckVerticalWindow(const View& v) {
  std::uint64_t height = 0;
  if (v.cap(2103) != 0) {
    const std::uint32_t y = v.prm(2066);
    height = v.prm(2068);
    for (const Timing& t : {Timing{2066, 2104, 2105, 2106}, Timing{2066, 2153, 2154, 2155},
                            Timing{2068, 2110, 2111, 2112}, Timing{2068, 2159, 2160, 2161}}) {
      const Detail detail = RangeStep(v, t.index, t.index == 2066 ? y : height, t.minCap, t.maxCap, t.stepCap);
      if (detail != 0) return detail;
    }
  }
  if (v.cap(2163) != 0) return CheckScaling(v, kVerticalScaling, height, v.prm(2070), false);
  return 0;
}

}  // namespace

std::uint32_t AcqCheckFrameGeometry(AcqValidationContext* context) {
  const View v(context);
  const GroupBits bits(v, kHorizontalGroup);
  Detail detail = CheckModeWord(v, 2100, 2099, 2148);
  if (detail == 0) detail = CheckTimings(v, {{10, 10, 11, 12}, {11, 13, 14, 15}, {15, 25, 26, 27}, {21, 37, 38, 39}});
  if (detail != 0) return detail;
  std::uint64_t width = 0;
  if (v.cap(2099) != 0) {
    const std::uint64_t x = v.prm(2065);
    width = v.prm(2067);
    const std::uint64_t lead = std::uint64_t{v.prm(21)} + v.prm(15) + (v.prm(2100) == 1 ? v.prm(11) : 0);
    const std::uint64_t line = std::uint64_t{v.prm(49)} * v.prm(10);
    detail = CheckWindow(v, kHorizontalWindow, x, width, lead, line);
    if (detail != 0) return detail;
  }
  if (v.cap(2162) != 0 && v.prm(2071) != 1) return CheckScaling(v, kHorizontalScaling, width, v.prm(2069), true);
  return 0;
}

std::uint32_t AcqValidateVerticalGroup(AcqValidationContext* context) {
  const View v(context);
  const GroupBits bits(v, kVerticalGroup);
  const std::uint32_t scan = v.prm(3);
  if ((scan & v.cap(3)) == 0) return QelStatusMake(3, kAcqKindNotSupported);
  if (v.cap(2169) != 0 && scan == 2 && (v.prm(2105) & v.cap(2169)) == 0) return QelStatusMake(2105, kAcqKindNotSupported);
  return scan == 1 ? AcqCheckVerticalGeometry(v) : AcqCheckVerticalWindow(v);
}

std::uint32_t AcqComputeCameraFrameRate(const CamPrmBlock* cam) {
  const auto prm = [cam](std::uint32_t index) -> std::uint64_t {
    const std::uint32_t* words = AcqPrmWords(cam, index);
    return words == nullptr ? 0 : *words;
  };
  const std::uint64_t clock = prm(24) == 1 ? prm(25) : prm(27);
  const bool sensorTimes = prm(2) == 1;
  const std::uint64_t horizontal = sensorTimes ? prm(10) + prm(15) + prm(11) + prm(14) : prm(21) + prm(20) + prm(10) + prm(11);
  const std::uint64_t vertical = sensorTimes ? prm(12) + prm(19) + prm(13) + prm(18) : prm(23) + prm(22) + prm(12) + prm(13);
  if (horizontal == 0 || vertical == 0) return 0;
  // Dividing twice gives clock / (horizontal x vertical) exactly, for any product.
  std::uint64_t rate = clock / horizontal / vertical;
  if (prm(1) == 1) rate >>= 1;
  return static_cast<std::uint32_t>(rate);
}

std::uint32_t AcqGetModeLimit(const AcqValidationContext* context) {
  return ModeLimit(View(const_cast<AcqValidationContext*>(context)), nullptr);
}

bool IsGeometricStep(std::uint32_t value, std::uint32_t first, std::uint32_t maximum, std::uint32_t factor) {
  std::uint64_t step = first;
  while (step <= maximum) {
    if (step == value) return true;
    const std::uint64_t next = step * factor;
    if (next <= step) return next == value;
    step = next;
  }
  return false;
}
