// The records that the board library's timer, strobe and trigger calls take,
// computed from a device's camera (CAM) and video-input (VIC) parameters.
// Each builder takes the parameters it consumes (modified bit cleared in the
// new block, value copied to the current block), reads everything from the
// new blocks, and writes only the words it names: the caller clears the
// record first and writes its size words. Words are named w0, w1, ... in order.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

// The two camera-control timer records side by side: timer 0 in w0-w15,
// timer 1 in w16-w31, 64 bytes each. A pulse descriptor: w1 on, w2 level,
// w3 and w4 its two times (thousandths in w14 and w15), w5 polarity, w6-w10
// constants, w11 and w12 the time base, w13 presence bytes.
struct AcqTimerRecordPair {
  std::uint32_t w[32];
};
static_assert(sizeof(AcqTimerRecordPair) == 128);
inline constexpr std::uint32_t kAcqTimerRecordSize = 64;

struct AcqCameraControlSummary {
  std::uint32_t s1, s2, s3;
};

struct AcqStrobeRecord {
  std::uint32_t w[13];
};
static_assert(sizeof(AcqStrobeRecord) == 52);

struct AcqFrameTriggerRecord {
  std::uint32_t w[36];
};
static_assert(sizeof(AcqFrameTriggerRecord) == 144);

// The double-pulse control record of the two line patterns, t1-t16 after
// its first word.
struct AcqDoublePulseControlRecord {
  std::uint32_t t[17];
};
static_assert(sizeof(AcqDoublePulseControlRecord) == 68);

// The camera's line period, (CAM 10 + CAM 15 + CAM 11 + CAM 14) x 100 /
// (CAM 25 / 10000), in single precision; 0 with a pixel clock of 0, so that
// nothing is rounded to lines.
float AcqLinePeriod(const AcqValidationContext* context);
// A pulse value rounded to lines: trunc((v + L/2) / L); v itself when L is 0.
std::uint32_t AcqRoundToLines(std::uint32_t value, float linePeriod);

// Camera-control pulses (area-scan cameras). Answers 0, or 0x8702B when VIC
// 2160 asks for the line time base without the line bits of VIC 2119 (the
// record is built all the same).
QelStatus AcqComputeCameraControlTimer(AcqValidationContext* context, AcqTimerRecordPair* records,
                                       AcqCameraControlSummary* summary);
// Strobe output; w0 = 52. Answers 0.
QelStatus AcqComputeStrobeTimer(AcqValidationContext* context, AcqStrobeRecord* record);
// Frame trigger. Answers 0.
QelStatus AcqComputeFrameTrigger(AcqValidationContext* context, AcqFrameTriggerRecord* record);
// Double-pulse control timers (line-scan cameras; any other camera gets
// nothing and 0). A pattern that converts times refuses a pixel clock of 0
// with 0x40192A (CAM 25 the clock) or 0x401B2A (CAM 27) before writing
// anything; the patterns 16 and 32 refuse a CAM 63 of 0 with 0x403F2B, the
// rest of their records written.
QelStatus AcqComputeDoublePulseTimers(AcqValidationContext* context, AcqTimerRecordPair* pulses,
                                      std::uint32_t* summary, AcqDoublePulseControlRecord* control);

// The internal line periods of the line trigger, from the new blocks (nothing
// taken): 10000000 / VIC 2110 for the trigger window, refusing a VIC 2110 of 0
// with 0x483E2B; and (VIC 2102 + CAM 78) x 1000 / (clock / 1000) in single
// precision, truncated, times 10, for the double pulse, refusing a pixel clock
// of 0 as the double-pulse timers do.
QelStatus AcqTriggerWindowLinePeriod(const AcqValidationContext* context, std::uint32_t* period);
QelStatus AcqDoublePulseLinePeriod(const AcqValidationContext* context, std::uint32_t* period);
