#include "source/QelAcq/AcqApplyChecks.h"

#include <algorithm>
#include <array>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace acq_checks {

namespace {

using acq_window::TapPrm;

constexpr std::uint32_t kNotSupported = 0x2B;
constexpr std::uint32_t kColourBit = 0x40000000;
constexpr std::uint32_t kBayerKind = 16;
constexpr std::uint32_t kColourKind = 8;
constexpr std::uint32_t kParallel = 4;
constexpr std::uint32_t kEdgeBits = 0x70;
constexpr std::uint32_t kDefaultEdge = 0x10;

std::uint32_t Refuse(std::uint32_t index, std::uint32_t kind = kNotSupported) {
  return kQelModuleAcquisition | QelStatusMake(index, kind);
}

std::uint32_t P(const AcqValidationContext* c, std::uint32_t index) { return AcqNewPrm(c, index); }

// CAM capability 108 and the layout word against the tap layout.
std::uint32_t LayoutMask(const AcqValidationContext* c, const AcqWindowRecord& r) {
  const std::uint32_t cap108 = AcqGetCap(c, 108), layout = r.w[acq_window::kLayoutWord];
  const std::uint64_t rows = P(c, 0), taps = P(c, 49), kind = P(c, 5), depth = P(c, 6), lines = r.w[70];
  if (cap108 != 0 && (cap108 & P(c, 88)) == 0) return Refuse(88);
  switch (layout) {
    case 0:
      return cap108 != 0 ? Refuse(88) : 0;
    case 1:
      if (rows * taps / lines > 3) return Refuse(88);
      if (kind == kColourKind && depth > 8 && lines == 1) return Refuse(88);
      if (kind == kColourKind && depth == 8 && taps / lines > 1) return Refuse(49);
      return 0;
    case 2:
      if (rows * taps / lines >= 7) return Refuse(49);
      if (kind == kColourKind && taps >= 3) return Refuse(49);
      return 0;
    default:
      return 0;
  }
}

// The tap layouts that CAM 88 names on its own (bit 7: 8 parallel taps of 10
// bits; bits 4 and 6: 10 taps of 8 bits) have their own rules (LayoutBits);
// the wide-layout limit below would refuse the 8 x 10-bit camera that bit 7
// exists for, so it is not applied to them.
constexpr std::uint32_t kDedicatedLayouts = 0x80 | 0x50;

std::uint32_t WideTaps(const AcqValidationContext* c, const Board& board, const AcqWindowRecord& r) {
  const std::uint32_t taps = P(c, 49), lines = r.w[70];
  if (lines > 1 && taps > 4 && (board.flags & 0x20) == 0) return Refuse(49);
  if ((P(c, 88) & kDedicatedLayouts) != 0) return 0;
  const bool wideLayout = AcqGetCap(c, 85) == 8 || r.w[acq_window::kLayoutWord] == 4;
  if (wideLayout && P(c, 6) > 8 && ((lines == 1 && taps >= 5) || (lines == 2 && taps > 8))) return Refuse(49);
  return 0;
}

constexpr std::array<std::uint32_t, 8> kBayerOutputs = {0x1010100, 0x61092000, 0x3010800, 0x61192000,
                                                        0x610C2000, 0x611C2000, 0x3810800, 0x3C10800};

// The walk over the taps of one or two rows: a tap without an edge bit takes
// the default one, and the edge bits that every tap of a row shares must not
// run out.
std::uint32_t RowWalk(AcqValidationContext* c, AcqWindowRecord* r, std::uint32_t taps, std::uint32_t rows) {
  std::array<std::uint32_t, 2> common = {kEdgeBits, kEdgeBits};
  for (std::uint32_t j = 0; j < taps; ++j)
    for (std::uint32_t row = 0; row < rows; ++row) {
      const std::uint32_t k = row * taps + j;
      if (k >= acq_window::kTapCount) continue;
      std::uint32_t tap = P(c, TapPrm(k));
      if ((tap & kEdgeBits) == 0) {
        tap |= kDefaultEdge;
        AcqSetPrm(c, TapPrm(k), tap);
        AcqTakePrm(c, TapPrm(k));
        r->w[acq_window::kTapWord + k] = tap & 0x7F;
      }
      common[row] &= tap & kEdgeBits;
      if (common[row] == 0) return Refuse(TapPrm(k));
    }
  return 0;
}

std::uint32_t AreaScan(AcqValidationContext* c, AcqWindowRecord* r, std::uint32_t status) {
  const std::uint32_t rows = P(c, 0), taps = P(c, 49);
  if (rows == 0) return Refuse(0, kQelKindOutOfRange);
  if (P(c, 2066) % rows != 0) status = Refuse(2066);
  if (P(c, 2068) % rows != 0) status = Refuse(2068);
  if (rows > 2) return status;
  const std::uint32_t inUse = std::min<std::uint64_t>(std::uint64_t{taps} * rows, acq_window::kTapCount);
  const std::uint32_t first = P(c, TapPrm(0));
  if ((first & 0x40) != 0 && P(c, 2068) != std::uint64_t{P(c, 12)} * rows) status = Refuse(51);
  if (rows == 2 && inUse > 0) {
    const std::uint32_t last = P(c, TapPrm(inUse - 1));
    if (((last ^ first) & 0x20) != 0 && (P(c, 6) > 16 || taps >= 2)) status = Refuse(51);
    if ((first & 0x20) != 0 && ((first ^ last) & 0x0C) == 0) status = Refuse(51);
  }
  const std::uint32_t walk = RowWalk(c, r, taps, rows);
  return walk != 0 ? walk : status;
}

}  // namespace

std::uint32_t LayoutChecks(AcqValidationContext* c, const Board& board, const AcqWindowRecord& r,
                           std::uint32_t status) {
  if ((r.w[9] & 3) != 0 && P(c, 0) > 1) status = Refuse(2135, kAcqKindPrmNotDefined);
  if (r.w[70] > 1 && P(c, 95) == 0) status = Refuse(95, kAcqKindPrmNotDefined);
  if (status != 0) return status;
  status = LayoutMask(c, r);
  if (status == 0) status = WideTaps(c, board, r);
  if (status == 0 && P(c, 2077) != 0 && P(c, 2078) == 2) status = AcqApplyStrobe(c);
  return status;
}

std::uint32_t ParallelTaps(const AcqValidationContext* c, const Board& board) {
  const std::uint32_t taps = P(c, 49), depth = P(c, 6);
  if (P(c, 50) != kParallel || taps >= 11) return 0;
  const bool narrowBoard = (board.modelCode & 0x300) != 0 || board.modelCode == 2;
  if (taps == 3 && (depth > 8 || (depth == 8 && narrowBoard))) return Refuse(49);
  return taps >= 5 && taps <= 7 ? Refuse(49) : 0;
}

std::uint32_t LayoutBits(const AcqValidationContext* c, std::uint32_t status) {
  const std::uint32_t bits = P(c, 88), arrangement = P(c, 50), depth = P(c, 6), taps = P(c, 49);
  if ((bits & 0x80) != 0) {
    if (arrangement != kParallel) status = Refuse(50);
    else if (depth != 10) status = Refuse(6);
    else if (taps != 8) status = Refuse(49);
  }
  if ((bits & 0x50) != 0) {
    if (depth != 8) status = Refuse(6);
    if (taps != 10) status = Refuse(49);
    if (arrangement != kParallel) status = Refuse(50);
  }
  return status;
}

std::uint32_t ParallelTapFlags(const AcqValidationContext* c) {
  if (P(c, 50) != kParallel) return 0;
  // Tap k (0-based) is in use from this many taps on.
  constexpr std::array<std::uint32_t, 10> kFrom = {1, 2, 4, 4, 8, 8, 8, 8, 10, 10};
  const std::uint32_t taps = P(c, 49), first = P(c, TapPrm(0)) & 3;
  for (std::uint32_t k = 1; k < kFrom.size(); ++k)
    if (taps >= kFrom[k] && (P(c, TapPrm(k)) & 3) != first) return Refuse(TapPrm(k));
  return 0;
}

std::uint32_t BayerOutput(const AcqValidationContext* c) {
  if (P(c, 6) != 8 || P(c, 5) != kBayerKind) return 0;
  const std::uint32_t format = P(c, 2088);
  return std::find(kBayerOutputs.begin(), kBayerOutputs.end(), format) != kBayerOutputs.end() ? 0 : Refuse(2088);
}

std::uint32_t ScanKind(AcqValidationContext* c, AcqWindowRecord* r, std::uint32_t status) {
  const std::uint32_t scan = P(c, 3);
  if (scan == 1) return AreaScan(c, r, status);
  if (scan != 2) return status;
  if (P(c, 2066) > 0) status = Refuse(2066);
  const std::uint32_t taps = std::min<std::uint32_t>(P(c, 49), acq_window::kTapCount);
  for (std::uint32_t k = 0; k < taps; ++k)
    if ((r->w[acq_window::kTapWord + k] & 0x60) != 0) status = Refuse(TapPrm(k));
  return status;
}

std::uint32_t MinimumLine(const AcqValidationContext* c, const Board& board, std::uint32_t status) {
  const std::uint32_t taps = P(c, 49);
  const bool narrowBoard = (board.modelCode & (0x40 | 0x2000)) != 0;
  const std::uint64_t line = std::uint64_t{acq_window::LinesPerClock(c)} * P(c, 10);
  if (narrowBoard && (taps == 3 || taps == 8) && line < 128 && P(c, 50) == 2) return Refuse(10);
  return status;
}

std::uint32_t BusWidth(const AcqValidationContext* c, std::uint32_t status) {
  const std::uint32_t format = P(c, 2088), bits = (format >> 8) & 0xFF;
  if (status != 0 || bits < 8) return status;
  std::uint32_t bus = 0;
  const QelHwStatus read = Yat_Man_GetInternalBusWidth(AcqBoardOf(c), &bus);
  if (read != QELHW_OK) return TranslateStatus(read);
  const std::uint64_t width = P(c, 2067), lineBytes = bits / 8 * width;
  // A bus width of 0 would be the board's fault: no line can be placed on it.
  if (bus == 0 || lineBytes % bus != 0) status = Refuse(2067);
  const std::uint32_t packing = P(c, 9);
  if ((packing == 8 || packing == 16) && (format & kColourBit) != 0 && P(c, 5) == kBayerKind && P(c, 2152) == 32 &&
      width != std::uint64_t{P(c, 10)} * P(c, 49))
    status = Refuse(2067);
  return status;
}

}  // namespace acq_checks
