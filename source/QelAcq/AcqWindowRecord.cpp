#include "source/QelAcq/AcqWindowRecord.h"

#include <initializer_list>

#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace acq_window {

namespace {

constexpr std::uint32_t kForcedLayoutModels = 0x20 | 0x8000;
constexpr std::uint32_t kForcedLayout = 4;

// Takes the parameters and writes their values into consecutive words.
void TakeInto(AcqValidationContext* c, AcqWindowRecord* r, std::uint32_t firstWord,
              std::initializer_list<std::uint32_t> indexes) {
  std::uint32_t word = firstWord;
  for (std::uint32_t index : indexes) r->w[word++] = AcqTakePrm(c, index);
}

// VIC 2069 and 2070 mirror the window's width and height before they are taken.
std::uint32_t TakeMirrored(AcqValidationContext* c, std::uint32_t index, std::uint32_t value) {
  AcqSetPrm(c, index, value);
  return AcqTakePrm(c, index);
}

}  // namespace

std::uint32_t LinesPerClock(const AcqValidationContext* context) { return ConvEnum1248To1234(AcqNewPrm(context, 108)); }

Fill FillWindowRecord(AcqValidationContext* c, std::uint32_t modelCode, AcqWindowRecord* r) {
  Fill fill;
  r->w[0] = sizeof *r;
  r->w[11] = ConvEnum1248To4123(AcqTakePrm(c, 7));
  TakeInto(c, r, 12, {25, 14, 11, 15, 10});
  r->w[17] = ConvPolarityToHw(AcqTakePrm(c, 29));
  TakeInto(c, r, 18, {18, 13, 19, 12});
  r->w[22] = ConvPolarityToHw(AcqTakePrm(c, 30));
  TakeInto(c, r, 26, {20, 21, 22, 23});
  r->w[32] = AcqTakePrm(c, 0);
  r->w[23] = ConvEnum12To12(AcqTakePrm(c, 1));
  r->w[7] = ConvEnum1816To132(AcqTakePrm(c, 2073));

  // The vertical divisor: interlaced frames count their two fields as one
  // (unless the field mode keeps them apart), else the rows of taps.
  std::uint32_t d = r->w[23] == 1 ? 2 : r->w[32];
  if (d == 2 && (r->w[7] == 2 || r->w[7] == 3)) d = 1;
  if (d == 0) {
    fill.status = kQelModuleAcquisition | QelStatusMake(0, kQelKindOutOfRange);
    d = 1;
  }
  const std::uint32_t scan = AcqNewPrm(c, 3);
  r->w[1] = AcqTakePrm(c, 2065);
  r->w[2] = AcqTakePrm(c, 2067);
  r->w[3] = AcqTakePrm(c, 2066) / d;
  const std::uint32_t height = AcqTakePrm(c, 2068);
  r->w[4] = scan == 2 ? height : height / d;
  r->w[5] = TakeMirrored(c, 2069, r->w[2]);
  r->w[6] = TakeMirrored(c, 2070, height) / d;
  r->w[8] = ConvEnumPow2To12345(AcqTakePrm(c, 9));
  AcqTakePrm(c, 2152);
  r->w[34] = AcqTakePrm(c, 60);
  const std::uint32_t arrangement = AcqTakePrm(c, 50);
  r->w[31] = AcqTakePrm(c, 49);
  r->w[35] = r->w[31] == 1 ? 2 : ConvEnum124To123(arrangement);
  AcqTakePrm(c, 113);
  AcqTakePrm(c, 116);
  for (std::uint32_t k = 0; k < kTapCount; ++k) r->w[kTapWord + k] = ConvMask7ToHw(AcqTakePrm(c, TapPrm(k)));
  r->w[30] = AcqTakePrm(c, 6);
  r->w[33] = ConvEnum12816To5667(AcqTakePrm(c, 5));
  r->w[70] = ConvEnum1248To1234(AcqTakePrm(c, 108));
  r->w[9] = AcqTakePrm(c, 2135);
  const std::uint32_t layout = AcqTakePrm(c, 88);
  r->w[kLayoutWord] = (modelCode & kForcedLayoutModels) != 0 ? kForcedLayout : layout;
  r->w[69] = AcqTakePrm(c, 3);
  return fill;
}

}  // namespace acq_window
