// The two camera-control timers of a camera's grab controller: the time base
// that fits the caller's 64-byte record, the control word and the values.
#include <array>
#include <cmath>
#include <cstring>

#include "driver/user/GrabCtrl.h"

namespace {

constexpr std::size_t kTimerWords = 16;
using TimerRecord = std::array<std::uint32_t, kTimerWords>;

// Words of the timer record.
constexpr std::size_t kOn = 1, kPolarity = 2, kFirst = 3, kSecond = 4, kMode = 5, kOutput = 7, kUnit = 8,
                      kPairing = 10, kCount = 11, kCountSource = 12, kFirstThousandths = 14,
                      kSecondThousandths = 15;
// Bytes of word 13.
constexpr std::size_t kFineByte = 52, kFineBothByte = 53;

constexpr std::uint32_t kUnitTimed = 1, kUnitRaw = 6;
constexpr std::uint32_t kBaseRaw = 3, kBaseFine = 2, kMaxBase = 4;
constexpr std::uint32_t kLimitFirst = 1, kLimitSecond = 2;

constexpr const auto& kOutputCode = YAT_GC_OUTPUT_CODE;
constexpr std::array<std::uint32_t, 5> kClockCode = {0, 2, 2, 1, 2};
constexpr std::array<float, 5> kBaseFactor = {1.0f, 1000.0f, 0.1f, 1.0f, 100000.0f};

std::uint32_t Row(std::uint32_t timer) { return YAT_GC_REG_TIMER0_CONTROL + 4 * timer; }

// Stores the base in the slot and says whether the record's values, counted
// in it, stay within the slot's limits.
bool Fits(YatGrabCtrlTimerSlot& slot, const TimerRecord& r, std::uint32_t base) {
  const std::uint64_t first = r[kFirst], second = r[kSecond];
  std::uint64_t scaledFirst = 0, scaledSecond = 0;
  switch (base) {
    case 0: scaledFirst = first; scaledSecond = second; break;
    case 1: scaledFirst = first / 1000; scaledSecond = second / 1000; break;
    case 2: scaledFirst = first * 1000 / 100; scaledSecond = second * 1000 / 100; break;
    case 4: scaledFirst = first / 100000; scaledSecond = second / 100000; break;
    default: return true;
  }
  slot.timeBase = base;
  return scaledSecond <= slot.limits[kLimitSecond] && scaledFirst <= slot.limits[kLimitFirst];
}

// The finest base whose counts hold the values; fine steps only when asked.
QelHwStatus ChooseBase(YatGrabCtrlTimerSlot& slot, const TimerRecord& r, std::uint8_t fine) {
  if (Fits(slot, r, 0)) {
    if (fine == 2 && !Fits(slot, r, kBaseFine)) slot.timeBase = 0;
    return QELHW_OK;
  }
  if (Fits(slot, r, 1) || Fits(slot, r, kMaxBase)) return QELHW_OK;
  return QELHW_ERROR_ARG_INVALID;
}

QelHwStatus SetBase(YatGrabCtrlTimerSlot& slot, const TimerRecord& r, std::uint32_t timeBase, std::uint8_t fine) {
  if (r[kOn] == 0) return QELHW_OK;
  if (r[kUnit] == kUnitRaw) {
    slot.timeBase = kBaseRaw;
    return QELHW_OK;
  }
  if (r[kUnit] != kUnitTimed) return QELHW_ERROR_ARG_INVALID;
  if (timeBase == YAT_GC_AUTO_TIME_BASE) return ChooseBase(slot, r, fine);
  // A base the caller chose must hold the values: a cut value would time wrong.
  return Fits(slot, r, timeBase) ? QELHW_OK : QELHW_ERROR_ARG_INVALID;
}

QelHwStatus ControlWord(const YatGrabCtrlContext& context, std::uint32_t timer, std::uint32_t* c) {
  const YatGrabCtrlTimerSlot& slot = context.timers[timer];
  const TimerRecord r = GrabCtrlWords<kTimerWords>(slot.record);
  if (r[kOutput] >= kOutputCode.size() || slot.timeBase > kMaxBase) return QELHW_ERROR_ARG_INVALID;
  const std::uint8_t fine = slot.record[kFineByte], fineBoth = slot.record[kFineBothByte];
  constexpr std::uint32_t kFields = 0x1 | 0x4 | 0x8 | 0x30 | 0xC0 | 0x3000 | 0x4000 | 0x8000 | 0x30000;
  std::uint32_t word = *c & ~kFields;
  word |= (r[kOn] & 1) | (r[kMode] != 1 ? 0x4u : 0u) | ((r[kPolarity] & 1) << 3);
  word |= kOutputCode[r[kOutput]] << 6 | kClockCode[slot.timeBase] << 12;
  word |= (fine == 2 ? 0x4000u : 0u) | (fine == 2 && fineBoth == 2 ? 0x8000u : 0u);
  // The two timers are tied together when their records agree on word 10.
  const TimerRecord r0 = GrabCtrlWords<kTimerWords>(context.timers[0].record);
  const TimerRecord r1 = GrabCtrlWords<kTimerWords>(context.timers[1].record);
  if (r0[kPairing] == r1[kPairing]) word |= (r0[kMode] == 1 ? 1u : 2u) << 4;
  if (r[kCount] != 0) {
    const std::uint32_t source = r[kCountSource] == 6 ? 3 : r[kCountSource] == 2 ? 1 : 0;
    if (source == 0) return QELHW_ERROR_ARG_INVALID;
    word = (word & ~0xC0000u) | 0x20000u | source << 18;
  }
  *c = word;
  return QELHW_OK;
}

// (value + thousandths / 1000 + factor / 2) / factor, rounded half up. Single
// precision on purpose: set-ups made so far rely on its rounding. A count of 0
// would never run the timer.
std::uint32_t Counts(std::uint32_t value, std::uint32_t thousandths, float factor) {
  const float counts = (static_cast<float>(value) + static_cast<float>(thousandths) / 1000.0f + factor / 2.0f) / factor;
  if (!(counts < 4294967296.0f)) return 0xFFFFFFFF;
  const auto whole = static_cast<std::uint32_t>(std::trunc(counts));
  return whole == 0 ? 1 : whole;
}

QelHwStatus SetTimer(YatGrabCtrlContext* context, std::uint32_t timer, std::uint32_t timeBase) {
  QelHwStatus status = GrabCtrlBusyCheck(context);
  if (status != QELHW_OK) return status;
  YatGrabCtrlTimerSlot& slot = context->timers[timer];
  const TimerRecord r = GrabCtrlWords<kTimerWords>(slot.record);
  status = SetBase(slot, r, timeBase, slot.record[kFineByte]);
  std::uint32_t control = 0;
  if (status == QELHW_OK) status = GrabCtrlRead(context, Row(timer), &control);
  if (status == QELHW_OK) status = ControlWord(*context, timer, &control);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, Row(timer), control);
  if (status == QELHW_OK) status = GrabCtrl_ApplyTimer(context, timer);
  return status;
}

}  // namespace

QelHwStatus GrabCtrl_ApplyTimer(YatGrabCtrlContext* context, std::uint32_t timer) {
  if (!GrabCtrlUsable(context) || timer > 1) return QELHW_ERROR_ARG_INVALID;
  const YatGrabCtrlTimerSlot& slot = context->timers[timer];
  const TimerRecord r = GrabCtrlWords<kTimerWords>(slot.record);
  if (slot.timeBase > kMaxBase) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t first = r[kFirst], second = r[kSecond];
  if (slot.timeBase != kBaseRaw) {
    first = Counts(r[kFirst], r[kFirstThousandths], kBaseFactor[slot.timeBase]);
    second = Counts(r[kSecond], r[kSecondThousandths], kBaseFactor[slot.timeBase]);
  }
  QelHwStatus status = GrabCtrlWrite(context, Row(timer) + 1, first);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, Row(timer) + 2, second);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, Row(timer) + 3, r[kCount]);
  return status;
}

QelHwStatus GrabCtrl_SetCameraControlTimer(YatGrabCtrlContext* context, std::uint32_t timer, const void* record,
                                           std::uint32_t timeBase) {
  if (!GrabCtrlUsable(context) || timer > 1 || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  const YatGrabCtrlContext kept = *context;
  std::memcpy(context->timers[timer].record, record, sizeof context->timers[timer].record);
  const QelHwStatus status = SetTimer(context, timer, timeBase);
  // A refused timer leaves the previous set-up in the handle.
  if (status != QELHW_OK) *context = kept;
  return status;
}

QelHwStatus GrabCtrl_SetCameraControlTimerAuto(YatGrabCtrlContext* context, std::uint32_t timer,
                                               const void* record) {
  return GrabCtrl_SetCameraControlTimer(context, timer, record, YAT_GC_AUTO_TIME_BASE);
}
