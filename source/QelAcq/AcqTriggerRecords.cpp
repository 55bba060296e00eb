// The strobe and frame-trigger records, and the line trigger's internal line
// periods.
#include <algorithm>
#include <array>

#include "source/QelAcq/AcqRecordKit.h"
#include "source/QelAcq/AcqTimerRecords.h"

using namespace acq_records;

namespace {

// Strobe words by method (VIC 2078): w1, w2, w3, w8, w9, w10, w11, w12.
struct StrobeRow {
  std::uint32_t method;
  std::array<std::uint32_t, 8> words;
};
constexpr std::uint32_t kLevelFromCam110 = 0xFFFFFFFFu;
constexpr std::uint32_t kPulsesFromCam9 = 0xFFFFFFFEu;
constexpr std::array<StrobeRow, 5> kStrobeRows = {{
    {1, {1, kLevelFromCam110, 1, 1, 4, 1, 1, 6}},
    {2, {1, 0, 2, 2, kPulsesFromCam9, 1, 1, 6}},
    {4, {1, 1, 1, 0, 4, 5, 1, 6}},
    {8, {1, 0, 3, 2, 4, 1, 1, 6}},
    {16, {0, 0, 1, 2, 4, 1, 1, 6}},
}};
constexpr std::array<std::uint32_t, 8> kStrobeWordIndexes = {1, 2, 3, 8, 9, 10, 11, 12};

// Method 2 counts pulses by the interlace: 3, or by CAM 9 for an interlaced
// camera (1: 2, 2: 1, 4: 3; other values write nothing).
bool PulseCount(const AcqValidationContext* context, std::uint32_t* count) {
  if (AcqNewPrm(context, 1) != 1) {
    *count = 3;
    return true;
  }
  switch (AcqNewPrm(context, 9)) {
    case 1: *count = 2; return true;
    case 2: *count = 1; return true;
    case 4: *count = 3; return true;
    default: return false;
  }
}

}  // namespace

QelStatus AcqComputeStrobeTimer(AcqValidationContext* context, AcqStrobeRecord* record) {
  if (context == nullptr) return NullArgument(1);
  if (record == nullptr) return NullArgument(2);
  TakeRange(context, 2077, 2081);
  TakeAll(context, {2114, 2133});
  std::uint32_t* w = record->w;
  w[0] = sizeof(AcqStrobeRecord);
  w[1] = 0;
  if (AcqNewPrm(context, 2077) == 0) return 0;
  const std::uint32_t method = AcqNewPrm(context, 2078);
  for (const StrobeRow& row : kStrobeRows) {
    if (row.method != method) continue;
    for (std::size_t i = 0; i < row.words.size(); ++i) {
      std::uint32_t value = row.words[i];
      if (value == kLevelFromCam110) value = Not(AcqNewPrm(context, 110));
      if (value == kPulsesFromCam9 && !PulseCount(context, &value)) continue;
      w[kStrobeWordIndexes[i]] = value;
    }
    const bool timed = method != 16;
    w[4] = timed ? AcqNewPrm(context, 2081) : 0;
    w[5] = timed ? AcqNewPrm(context, 2133) : 0;
    w[6] = timed ? AcqNewPrm(context, 2080) : 0;
    w[7] = ConvPolarityToHw(AcqNewPrm(context, 2079));
  }
  return 0;
}

QelStatus AcqComputeFrameTrigger(AcqValidationContext* context, AcqFrameTriggerRecord* record) {
  if (context == nullptr) return NullArgument(1);
  if (record == nullptr) return NullArgument(2);
  TakeAll(context, {2092, 2095, 2104, 2105, 2108, 2113, 2115, 2124, 2125, 2126, 2137, 2146, 2149, 2150, 2161,
                    2167, 110});
  const auto prm = [context](std::uint32_t index) { return AcqNewPrm(context, index); };
  std::uint32_t* w = record->w;
  const bool noCameraControl = prm(2087) == 0 && prm(2086) == 0 && prm(2084) == 0;
  w[9] = noCameraControl || prm(110) != 0 ? 1 : 2;
  w[16] = prm(2124);
  w[35] = prm(2108);
  w[5] = prm(2137);
  w[7] = prm(2161);
  w[8] = 1;
  if (prm(3) != 1) {
    const std::uint32_t lineTrigger = prm(2104) != 0 ? 1 : 0;
    w[3] = ConvEnumPow2To1To7(prm(2105));
    w[4] = ConvInputLevelToHw(prm(2115));
    w[2] = w[15] = w[23] = lineTrigger;
    w[6] = prm(2144);
    w[19] = 0;
    w[21] = 0;
    w[31] = lineTrigger != 0 && prm(2149) != 0 ? 1 : 0;
    w[33] = prm(2149);
    w[32] = ConvTimeBaseToHw(prm(2150));
    if (w[7] == 0) w[7] = 1;
  } else {
    w[3] = ConvEnumPow2To1To7(prm(2095));
    w[4] = ConvInputLevelToHw(prm(2113));
    w[2] = prm(2092) == 8 ? 1 : 0;
    w[6] = prm(2146);
    w[34] = prm(2167);
  }
  w[11] = prm(2125);
  if (prm(2126) != 0) w[12] = 1000000000u / prm(2126);
  w[13] = 1;
  return 0;
}

QelStatus AcqTriggerWindowLinePeriod(const AcqValidationContext* context, std::uint32_t* period) {
  if (context == nullptr) return NullArgument(1);
  if (period == nullptr) return NullArgument(2);
  const std::uint32_t window = AcqNewPrm(context, 2110);
  if (window == 0) return kQelModuleAcquisition | QelStatusMake(2110, kAcqKindNotSupported);
  *period = 10000000u / window;
  return 0;
}

QelStatus AcqDoublePulseLinePeriod(const AcqValidationContext* context, std::uint32_t* period) {
  if (context == nullptr) return NullArgument(1);
  if (period == nullptr) return NullArgument(2);
  const std::uint32_t clockIndex = PulseClockIndex(context);
  const std::uint32_t clock = AcqNewPrm(context, clockIndex);
  if (clock == 0) return kQelModuleAcquisition | QelStatusMake(clockIndex, kQelKindOutOfRange);
  const auto time = static_cast<float>(std::uint64_t{AcqNewPrm(context, 2102)} + AcqNewPrm(context, 78));
  const std::uint64_t tenths = std::uint64_t{Truncated(time * 1000.0f / (static_cast<float>(clock) / 1000.0f))} * 10;
  *period = static_cast<std::uint32_t>(std::min<std::uint64_t>(tenths, 0xFFFFFFFFu));
  return 0;
}
