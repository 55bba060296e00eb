// The double-pulse control timers of line-scan cameras: two pulse descriptors
// in timer-record form, a summary word, and the control record of the two
// line patterns.
#include "source/QelAcq/AcqRecordKit.h"
#include "source/QelAcq/AcqTimerRecords.h"

using namespace acq_records;

namespace {

constexpr QelStatus kLinePeriodRefused = 0x403F2B;  // CAM 63 of 0

// Times are counted in pixel-clock periods: t = v x 1000 / f with f the clock
// in kHz, kept as whole periods and thousandths.
class PulseTimes {
 public:
  PulseTimes(const AcqValidationContext* context, std::uint32_t* w)
      : context_(context), w_(w), kHz_(AcqNewPrm(context, PulseClockIndex(context)) / 1000.0) {}
  std::uint32_t prm(std::uint32_t index) const { return AcqNewPrm(context_, index); }
  // Time A of pulse 1 (w3, thousandths w14) or pulse 2 (w19, w30); time B
  // of pulse 1 (w4, w15) or pulse 2 (w20, w31).
  void timeA(int pulse, double t) const { Put(pulse == 1 ? 3 : 19, pulse == 1 ? 14 : 30, t); }
  void timeB(int pulse, double t) const { Put(pulse == 1 ? 4 : 20, pulse == 1 ? 15 : 31, t); }
  double t(std::uint64_t value) const { return static_cast<double>(value) * 1000.0 / kHz_; }
  double raw(double value) const { return value / kHz_; }
  // The presence bytes of a pulse (bytes 0 and 1 of w13 or w29).
  void presence(int pulse, std::uint32_t byte0, std::uint32_t byte1) const {
    w_[pulse == 1 ? 13 : 29] = byte0 | byte1 << 8;
  }

 private:
  void Put(int word, int companion, double t) const {
    const std::uint32_t whole = Truncated(t);
    w_[word] = whole;
    w_[companion] = Truncated((t - whole) * 1000.0);
  }
  const AcqValidationContext* context_;
  std::uint32_t* w_;
  double kHz_;
};

// The line patterns 16 and 32 are programmed from their control record.
QelStatus LinePatternRecord(const PulseTimes& p, std::uint32_t pattern, std::uint32_t* t) {
  t[1] = 1;
  t[2] = pattern == 16 ? 1 : 2;
  t[3] = ConvPolarityToHw(p.prm(43));
  t[4] = ConvPolarityToHw(p.prm(2079));
  t[5] = t[6] = t[7] = 1;
  t[9] = p.prm(44);
  t[10] = p.prm(80);
  t[11] = p.prm(78);
  t[12] = p.prm(79);
  t[13] = p.prm(2081);
  t[14] = p.prm(2080);
  t[15] = p.prm(44);
  t[16] = p.prm(2133);
  if (p.prm(63) == 0) return kLinePeriodRefused;
  t[8] = 1000000u / p.prm(63);
  return 0;
}

// One timed pulse: enable, times A and B, polarity and presence bytes.
struct Pulse {
  std::uint32_t enable;
  double a, b;
  std::uint32_t polarity;
  std::uint32_t byte0, byte1;
};

void PutPulse(const PulseTimes& p, std::uint32_t* w, int pulse, const Pulse& values) {
  w[pulse == 1 ? 1 : 17] = values.enable;
  p.timeA(pulse, values.a);
  p.timeB(pulse, values.b);
  w[pulse == 1 ? 5 : 21] = values.polarity;
  p.presence(pulse, values.byte0, values.byte1);
}

QelStatus Pattern(const PulseTimes& p, std::uint32_t* w, std::uint32_t* summary, std::uint32_t* control) {
  const std::uint32_t pattern = p.prm(42);
  *summary = 0;
  w[2] = w[18] = 0;
  w[6] = 0;
  w[7] = 4;
  w[8] = 1;
  w[9] = 2;
  w[22] = 1;
  w[23] = 4;
  w[24] = 1;
  w[25] = 2;
  w[26] = 1;
  const std::uint32_t polarity1 = ConvPolarityToHw(p.prm(43));
  const std::uint32_t polarity2 = ConvPolarityToHw(p.prm(77));
  switch (pattern) {
    case 2:
    case 4:
      PutPulse(p, w, 1, {0, 0, 0, polarity1, 2, 1});
      w[10] = 0;
      PutPulse(p, w, 2, {1, 0, p.t(pattern == 2 ? p.prm(79) : p.prm(2102)), polarity2, 2, 1});
      return 0;
    case 8:
      PutPulse(p, w, 1, {1, p.t(p.prm(44)), p.t(p.prm(2102)), polarity1, 2, 1});
      w[10] = 0;
      PutPulse(p, w, 2, {1, p.raw((std::uint64_t{p.prm(78)} + p.prm(2102)) * 1000.0 + p.prm(44)),
                         p.t(p.prm(79)), polarity2, 2, 1});
      return 0;
    case 16:
    case 32:
      w[1] = 0;
      p.presence(1, 2, 1);
      w[17] = 0;
      p.presence(2, 2, 1);
      return LinePatternRecord(p, pattern, control);
    case 64:
      PutPulse(p, w, 1, {1, p.t(p.prm(44)), p.t(p.prm(80)), polarity1, 2, 2});
      w[10] = 1;
      PutPulse(p, w, 2, {1, p.t(p.prm(78)), p.t(p.prm(79)), polarity2, 1, 1});
      return 0;
    default:
      PutPulse(p, w, 1, {1, p.t(p.prm(44)), p.t(p.prm(80)), polarity1, 2, 1});
      w[10] = 0;
      PutPulse(p, w, 2, {1, p.t(std::uint64_t{p.prm(2102)} + p.prm(80) + p.prm(44)), p.t(p.prm(79)), polarity2, 2, 1});
      return 0;
  }
}

// Without a pattern: pulse 2 alone carries the camera's own timing (CAM 47, 48).
void NoPattern(const PulseTimes& p, std::uint32_t* w) {
  w[5] = ConvPolarityToHw(p.prm(43));
  w[10] = 0;
  p.presence(1, 2, 1);
  w[17] = 0;
  p.timeA(2, p.t(p.prm(47)));
  p.timeB(2, p.t(p.prm(48)));
  w[21] = ConvPolarityToHw(p.prm(46));
  w[24] = 1;
  w[26] = 2;
  w[29] = (w[29] & ~0xFFu) | 2;
}

}  // namespace

QelStatus AcqComputeDoublePulseTimers(AcqValidationContext* context, AcqTimerRecordPair* pulses,
                                      std::uint32_t* summary, AcqDoublePulseControlRecord* control) {
  if (context == nullptr) return NullArgument(1);
  if (pulses == nullptr) return NullArgument(2);
  if (summary == nullptr) return NullArgument(3);
  if (control == nullptr) return NullArgument(4);
  TakeRange(context, 42, 48);
  TakeRange(context, 77, 80);
  TakeRange(context, 2101, 2103);
  if (AcqNewPrm(context, 3) != 2) return 0;
  const bool patterned = AcqNewPrm(context, 2101) != 0;
  const std::uint32_t pattern = AcqNewPrm(context, 42);
  const bool converts = !patterned || (pattern != 16 && pattern != 32);
  const std::uint32_t clockIndex = PulseClockIndex(context);
  if (converts && AcqNewPrm(context, clockIndex) == 0) return kQelModuleAcquisition | QelStatusMake(clockIndex, kQelKindOutOfRange);

  std::uint32_t* w = pulses->w;
  const PulseTimes p(context, w);
  QelStatus status = 0;
  if (patterned)
    status = Pattern(p, w, summary, control->t);
  else
    NoPattern(p, w);
  if (p.prm(2109) != 0 || p.prm(2123) != 0 || p.prm(2106) != 0) {
    w[17] = 1;
    if (!patterned) p.timeB(2, p.t(p.prm(48)));
  }
  return status;
}
