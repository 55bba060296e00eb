// The trigger apply: everything that decides when a frame or a line is taken
// and what the board drives back to the camera, programmed as one group.
//
// Decisions of ours:
// - The re-programming of the camera-control timers with the unit of the
//   handle's tick table, asked for when the handle's two scan-mode words
//   differ, never comes about: this apply writes both words alike just
//   before; it is not made.
// - CAM 64, 78 and 79, which the records read and whose handlers run this
//   apply, are taken with the group: the apply-all road then programs the
//   group once, as the other trigger parameters have it.
// - A trigger window of 0 (VIC 2110 with VIC 2109 set) and a pixel clock of 0
//   on the double-pulse line period are refused (0x483E2B; 0x40192A or
//   0x401B2A) before the line trigger is written.
#include <array>
#include <cstring>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqApply.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqRecordKit.h"
#include "source/QelAcq/AcqTimerRecords.h"

namespace {

using acq_records::TakeAll;
using acq_records::TakeRange;

constexpr AcqPrmId kExtTriggerWindowId = 0x84D0004;
constexpr std::uint32_t kAutoTimeBase = 256;

struct LineTriggerRecord {
  std::uint32_t w[35];
};
static_assert(sizeof(LineTriggerRecord) == 140);

std::uint32_t P(const AcqValidationContext* c, std::uint32_t index) { return AcqNewPrm(c, index); }

YatAcqHandle* HwOf(const AcqValidationContext* c) {
  return AcqGetHwHandle(AcqBoardOf(c), c->record == nullptr ? kAcqSlotsPerBoard : c->record->slotIndex);
}

void TakeGroup(AcqValidationContext* c) {
  TakeAll(c, {24, 27, 64, 70, 71, 72, 75, 76, 77, 78, 79, 80, 110});
  TakeRange(c, 33, 40);
  TakeRange(c, 42, 48);
  TakeRange(c, 2084, 2087);
  TakeAll(c, {2092, 2095, 2109, 2110, 2113, 2115, 2116, 2149, 2150, 2174, 2176, 2177});
  TakeRange(c, 2101, 2107);
  TakeRange(c, 2122, 2126);
  TakeRange(c, 2137, 2141);
  TakeRange(c, 2144, 2147);
}

QelStatus TimingConflict(const AcqValidationContext* c, AcqPrmId id) {
  const std::uint32_t scan = P(c, 3);
  if (P(c, 2125) == 0) return 0;
  const bool conflict = (scan == 2 && P(c, 2104) != 0) || (scan == 1 && P(c, 2092) == 8);
  if (!conflict) return 0;
  const std::uint32_t index = id == kExtTriggerWindowId ? 2125 : scan == 2 ? 2104 : 2092;
  return kQelModuleAcquisition | QelStatusMake(index, kAcqKindConflict);
}

// The line trigger's inputs (a, b) and mode from the board-sync source and
// the shaft encoder's phases.
struct Inputs {
  std::uint32_t a, b, mode;
};

Inputs LineInputs(const AcqValidationContext* c) {
  Inputs in{0, 1, 1};
  if (P(c, 2174) > 1) in = {2, 3, 1};
  const std::uint32_t phases = P(c, 2145);
  if (AcqGetMaxCamera(AcqBoardOf(c)) > 1) {
    if (AcqConnectorOf(c) > 1) return in;
    if (phases == 1) in.b = 6;
    if (phases == 2) in = {in.b, 6, in.mode};
    if (phases == 3) in.mode = 2;
    if (phases == 4) in.a = in.b = 14;
    return in;
  }
  in.mode = 2;
  if (phases == 1) in.b = 6;
  if (phases == 2) in = {in.b, 6, in.mode};
  if (phases == 4) in = {14, 14, 1};
  return in;
}

void Source(LineTriggerRecord* r, std::uint32_t enable, std::uint32_t source, std::uint32_t parameter,
            std::uint32_t mode, std::uint32_t first, std::uint32_t a, std::uint32_t b, std::uint32_t second) {
  r->w[2] = enable;
  r->w[3] = source;
  r->w[4] = parameter;
  r->w[6] = mode;
  r->w[7] = first;
  r->w[8] = a;
  r->w[9] = b;
  r->w[10] = second;
}

void InternalLines(LineTriggerRecord* r, std::uint32_t period) {
  r->w[14] = r->w[16] = 1;
  r->w[15] = period;
}

// Step 6: the first source that applies.
QelStatus FillLineTrigger(const AcqValidationContext* c, LineTriggerRecord* r) {
  const Inputs in = LineInputs(c);
  QelStatus status = 0;
  if (P(c, 2123) != 0) {
    Source(r, 1, 5, P(c, 2141), in.mode, P(c, 2122), in.a, in.b, P(c, 2147));
    r->w[11] = P(c, 2176) == 2 ? 1 : 0;
    r->w[12] = P(c, 2176) != 0 ? 1 : 0;
    if (P(c, 64) != 0) r->w[33] = 1000000000u / P(c, 64);
  } else if (P(c, 2106) != 0) {
    Source(r, 1, ConvEnumPow2To1To7(P(c, 2107)), P(c, 2116), 1, 0, in.a, 6, 1);
  } else if (P(c, 2109) != 0) {
    std::uint32_t period = 0;
    status = AcqTriggerWindowLinePeriod(c, &period);
    if (status == 0) InternalLines(r, period);
  } else if (P(c, 42) == 2 && P(c, 3) == 2) {
    std::uint32_t period = 0;
    status = AcqDoublePulseLinePeriod(c, &period);
    if (status == 0) InternalLines(r, period);
  } else {
    Source(r, 0, 5, P(c, 2141), in.mode, P(c, 2122), 6, 6, P(c, 2147));
  }
  r->w[34] = P(c, 2177) != 0 ? 1 : 0;
  return status;
}

QelStatus ProgramTimers(YatAcqHandle* hw, const AcqTimerRecordPair& timers, std::uint32_t timeBase) {
  const std::uint32_t* first = timers.w;
  const std::uint32_t* second = timers.w + 16;
  QelHwStatus status = QelHw_Acq_SetCameraControlTimer(hw, 0, first, timeBase);
  if (status == QELHW_OK) status = QelHw_Acq_SetCameraControlTimer(hw, 1, second, timeBase);
  if (status == QELHW_OK) status = QelHw_Acq_SetCameraControlTimer(hw, 0, first, timeBase);
  return TranslateStatus(status);
}

// The front end's main tick follows the time unit of the timer that the
// handle's delay units choose. The board library's tick select takes one
// value, the tick it selects: it is given the mode (the unit mapped 1 -> 3,
// 2 -> 1, 4 -> 4, other -> 0), the timer index scaled by ten having no
// place in it.
QelStatus SelectTick(YatAcqHandle* hw) {
  if (hw == nullptr) return TranslateStatus(QELHW_ERROR_ARG_INVALID);
  const std::uint32_t timer = AcqTriggerDelayUnitsOrdered(hw) ? 1 : 0;
  constexpr std::uint32_t kUnitWord = 12;
  std::uint32_t unit = 0;
  std::memcpy(&unit, hw->grabCtrl.timers[timer].record + 4 * kUnitWord, sizeof unit);
  const std::uint32_t mode = unit == 1 ? 3 : unit == 2 ? 1 : unit == 4 ? 4 : 0;
  return TranslateStatus(Yat_FPGA_FE_MainTicksSelectTick(hw, mode));
}

}  // namespace

QelStatus AcqApplyTriggers(AcqValidationContext* c, AcqPrmId id) {
  if (c == nullptr || c->record == nullptr) return kAcqMissingPointer;
  TakeGroup(c);
  if (const QelStatus conflict = TimingConflict(c, id); conflict != 0) return conflict;
  const std::uint32_t scan = P(c, 3);
  YatAcqHandle* hw = HwOf(c);

  AcqTimerRecordPair timers{};
  timers.w[0] = timers.w[16] = kAcqTimerRecordSize;
  LineTriggerRecord line{};
  line.w[0] = sizeof line;
  line.w[1] = 48;
  line.w[13] = 16;
  line.w[17] = 48;
  line.w[30] = 16;
  if (scan == 1) {
    AcqCameraControlSummary summary{};
    const QelStatus status = AcqComputeCameraControlTimer(c, &timers, &summary);
    if (status != 0) return kQelModuleAcquisition | status;
    if (P(c, 33) == 256) InternalLines(&line, (P(c, 2138) + P(c, 72)) * 10);
  }

  AcqFrameTriggerRecord frame{};
  frame.w[0] = sizeof frame;
  frame.w[1] = 36;
  frame.w[10] = 16;
  frame.w[14] = 8;
  QelStatus status = AcqComputeFrameTrigger(c, &frame);
  if (status == 0) status = TranslateStatus(QelHw_Acq_FrameTriggerEnable(hw, &frame));
  if (status == 0) status = FillLineTrigger(c, &line);
  if (status == 0) status = TranslateStatus(QelHw_Acq_LineTriggerEnable(hw, &line));
  if (status != 0) return status;

  if (scan == 2) {
    AcqTimerRecordPair pulses{};
    AcqDoublePulseControlRecord control{};
    std::uint32_t summary = 0;
    status = AcqComputeDoublePulseTimers(c, &pulses, &summary, &control);
    if (status == 0 && AcqConnectorOf(c) == 0)
      status = TranslateStatus(QelHw_Acq_SetDoublePulseControlTimers(hw, &control));
    if (status != 0) return status;
  }
  if (hw != nullptr) hw->reserved[0] = hw->reserved[1] = scan == 2 ? 2 : 0;
  status = ProgramTimers(hw, timers, kAutoTimeBase);
  if (status == 0) status = SelectTick(hw);
  if (status == 0) status = AcqApplyCameraControl(c);
  if (status == 0) status = AcqApplyBoardSync(c);
  if (status != 0 || line.w[14] == 0) return status;
  return TranslateStatus(QelHw_Acq_LineTriggerEnable(hw, &line));
}

QelStatus AcqApplyTriggersNoId(AcqValidationContext* c) { return AcqApplyTriggers(c, 0); }

QelStatus AcqApplyFrameTriggerAndTriggers(AcqValidationContext* c, AcqPrmId id) {
  const QelStatus status = AcqFrameTriggerEnable(c);
  return status != 0 ? status : AcqApplyTriggers(c, id);
}
