// The camera-control timer records and the line period they are rounded to.
#include "source/QelAcq/AcqRecordKit.h"
#include "source/QelAcq/AcqTimerRecords.h"

using namespace acq_records;

namespace {

constexpr QelStatus kLineTimeBaseRefused = 0x8702B;  // VIC 2160, kind 0x2B

struct Prms {
  explicit Prms(const AcqValidationContext* context) : context_(context) {}
  std::uint32_t operator()(std::uint32_t index) const { return AcqNewPrm(context_, index); }

 private:
  const AcqValidationContext* context_;
};

// Time bases: the count and source words of the first descriptor (w11, w12)
// and of the second (w27, w28).
QelStatus TimeBases(const Prms& prm, std::uint32_t* w) {
  const bool lineBits = (prm(2119) & 3) != 0;
  const bool cam33LineMode = prm(2084) != 0 && prm(33) == 2;
  if (prm(2159) == 1) {
    w[11] = 1;
    w[12] = lineBits ? 6 : 2;
  } else if (prm(2159) == 0 && lineBits && (prm(2087) != 0 || cam33LineMode)) {
    w[11] = 1;
    w[12] = 6;
  }
  QelStatus status = 0;
  if (prm(2160) == 1) {
    if (lineBits) {
      w[27] = 1;
      w[28] = 6;
    } else {
      status = kLineTimeBaseRefused;
    }
  } else if (prm(2160) == 0 && lineBits && cam33LineMode) {
    w[27] = 1;
    w[28] = 6;
  }
  return status;
}

// The words every first descriptor carries.
void FirstDescriptor(const Prms& prm, std::uint32_t* w) {
  w[1] = 1;
  w[2] = Not(prm(110));
  w[6] = 1;
  w[7] = 4;
  w[8] = 1;
  w[9] = 1;
  w[10] = 14;
  w[13] = 1;
}

// The second descriptor's usual words after its time: width CAM 72.
void Tail(const Prms& prm, std::uint32_t* w, bool withWidth) {
  if (withWidth) w[20] = prm(72);
  w[21] = ConvPolarityToHw(prm(70));
  w[22] = 1;
  w[23] = 4;
  w[24] = 1;
  w[25] = 1;
  w[26] = 15;
  w[29] = 1;
}

void FormCam38(const Prms& prm, std::uint32_t* w, AcqCameraControlSummary* summary) {
  if (prm(38) != 1) return;
  FirstDescriptor(prm, w);
  w[3] = prm(2139);
  w[4] = prm(40);
  w[5] = ConvPolarityToHw(prm(39));
  w[17] = 0;
  summary->s1 = 0;
}

void FormCam35(const Prms& prm, std::uint32_t* w, AcqCameraControlSummary* summary) {
  const std::uint32_t mode = prm(35);
  if (mode != 1 && mode != 2) return;
  FirstDescriptor(prm, w);
  w[3] = prm(2140);
  w[4] = mode == 1 ? prm(37) : prm(19) + prm(13) + prm(2068) + prm(2066);
  w[5] = ConvPolarityToHw(prm(36));
  w[17] = 0;
  summary->s1 = 0;
}

// CAM 33 = 2: both pulses CAM 72 wide; counted in lines when their time base is the line.
void FormCam33Mode2(const Prms& prm, std::uint32_t* w, float line) {
  const std::uint32_t delay = prm(2138);
  w[3] = delay;
  w[4] = prm(72);
  w[5] = ConvPolarityToHw(prm(70));
  w[10] = 15;
  w[8] = w[12] == 6 ? 6 : 1;
  if (w[12] == 6) {
    w[3] = AcqRoundToLines(w[3], line);
    w[4] = AcqRoundToLines(w[4], line);
  }
  w[17] = 1;
  w[19] = prm(2085) + delay;
  Tail(prm, w, true);
  w[24] = w[28] == 6 ? 6 : 1;
  if (w[28] == 6) {
    w[19] = AcqRoundToLines(w[19], line);
    w[20] = AcqRoundToLines(w[20], line);
  }
}

void FormCam33(const Prms& prm, std::uint32_t* w, AcqCameraControlSummary* summary, float line) {
  const std::uint32_t mode = prm(33), delay = prm(2138), period = prm(2085);
  const std::uint32_t polarity34 = ConvPolarityToHw(prm(34));
  switch (mode) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64: case 256: break;
    default: return;
  }
  FirstDescriptor(prm, w);
  w[3] = delay;
  w[4] = period;
  w[5] = polarity34;
  summary->s1 = 0;
  switch (mode) {
    case 1:
      w[17] = 0;
      *summary = {1, 1, delay + period};
      return;
    case 2:
      FormCam33Mode2(prm, w, line);
      *summary = {1, 3, 1};
      return;
    case 4:
      w[19] = prm(71) + period + delay;
      break;
    case 8:
      w[4] = prm(76);
      w[17] = 1;
      w[19] = period + delay;
      w[20] = prm(76);
      w[21] = polarity34;
      w[22] = 1;
      w[23] = 4;
      w[24] = 1;
      w[25] = 1;
      w[26] = 14;
      w[29] = 1;
      *summary = {1, 3, 1};
      return;
    case 16:
    case 32:
      w[4] = prm(76);
      w[19] = period + delay - (mode == 32 ? prm(72) : 0);
      break;
    case 64:
      w[2] = 0;
      w[4] = prm(72);
      w[5] = ConvPolarityToHw(prm(70));
      w[10] = 15;
      w[19] = period + delay;
      break;
    case 256:
      w[2] = 0;
      w[6] = 3;
      w[13] = 2;
      w[17] = w[18] = w[19] = w[20] = 0;
      Tail(prm, w, false);
      return;
  }
  // Modes 4, 16, 32 and 64: the second pulse follows the first.
  w[17] = 1;
  w[18] = mode == 64 ? 0 : Not(prm(110));
  Tail(prm, w, true);
}

}  // namespace

float AcqLinePeriod(const AcqValidationContext* context) {
  const Prms prm(context);
  const std::uint32_t clock = prm(25);
  if (clock == 0) return 0.0f;
  const auto pixels = static_cast<float>(std::uint64_t{prm(10)} + prm(15) + prm(11) + prm(14));
  return pixels * 100.0f / (static_cast<float>(clock) / 10000.0f);
}

std::uint32_t AcqRoundToLines(std::uint32_t value, float linePeriod) {
  if (linePeriod == 0.0f) return value;
  return Truncated((static_cast<float>(value) + linePeriod / 2.0f) / linePeriod);
}

QelStatus AcqComputeCameraControlTimer(AcqValidationContext* context, AcqTimerRecordPair* records,
                                       AcqCameraControlSummary* summary) {
  if (context == nullptr) return NullArgument(1);
  if (records == nullptr) return NullArgument(2);
  if (summary == nullptr) return NullArgument(3);
  TakeRange(context, 33, 40);
  TakeAll(context, {70, 71, 72, 75, 76, 110, 2138, 2139, 2140, 2159, 2160});
  TakeRange(context, 2084, 2087);
  const Prms prm(context);
  std::uint32_t* w = records->w;
  const QelStatus status = TimeBases(prm, w);
  if (prm(2087) != 0)
    FormCam38(prm, w, summary);
  else if (prm(2086) != 0)
    FormCam35(prm, w, summary);
  else if (prm(2084) != 0)
    FormCam33(prm, w, summary, AcqLinePeriod(context));
  return status;
}
