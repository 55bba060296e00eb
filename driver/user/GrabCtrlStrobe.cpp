// The strobe output and the double-pulse generator of a camera's grab
// controller, from the caller's 52-byte and 68-byte records.
#include <array>
#include <cstring>

#include "driver/user/GrabCtrl.h"

namespace {

constexpr std::size_t kStrobeWords = 13;
using StrobeRecord = std::array<std::uint32_t, kStrobeWords>;

// Words of the strobe record.
constexpr std::size_t kOn = 1, kPolarity = 2, kPhase = 3, kValueA = 4, kValueB = 5, kValueC = 6, kMode = 7,
                      kEdge = 8, kOutput = 9, kUnit = 10;
constexpr std::uint32_t kUnitTimed = 1, kUnitFine = 5, kMaxBase = 4;
constexpr std::uint32_t kLimitFirst = 1, kLimitSecond = 2;

constexpr const auto& kOutputCode = YAT_GC_OUTPUT_CODE;
constexpr std::array<std::uint32_t, 5> kClockCode = {0, 2, 2, 1, 2};
constexpr std::array<std::uint32_t, 5> kDivisor = {1, 1000, 100, 1000, 100000};

constexpr std::size_t kPulseWords = 17;
using PulseRecord = std::array<std::uint32_t, kPulseWords>;

void PutWord(std::uint8_t* record, std::size_t word, std::uint32_t value) {
  std::memcpy(record + 4 * word, &value, sizeof value);
}

// The base whose counts hold the values; values too long for the fine base
// are taken in thousands on the plain one.
void ChooseBase(YatGrabCtrlStrobeSlot& slot) {
  const StrobeRecord r = GrabCtrlWords<kStrobeWords>(slot.record);
  const std::uint32_t maxAB = slot.limits[kLimitFirst], maxC = slot.limits[kLimitSecond];
  if (r[kOn] == 0) return;
  if (r[kUnit] == kUnitTimed) {
    slot.timeBase = r[kValueC] <= maxC && r[kValueA] <= maxAB && r[kValueB] <= maxAB ? 0 : 1;
  } else if (r[kUnit] == kUnitFine) {
    if (r[kValueC] / 100 <= maxC && r[kValueA] / 100 <= maxAB && r[kValueB] / 100 <= maxAB) {
      slot.timeBase = 2;
    } else {
      for (std::size_t word : {kValueA, kValueB, kValueC}) PutWord(slot.record, word, r[word] / 1000);
      slot.timeBase = 0;
    }
  }
}

QelHwStatus ControlBits(const YatGrabCtrlStrobeSlot& slot, std::uint32_t* bits) {
  const StrobeRecord r = GrabCtrlWords<kStrobeWords>(slot.record);
  if (r[kOutput] >= kOutputCode.size() || slot.timeBase > kMaxBase) return QELHW_ERROR_ARG_INVALID;
  *bits = (r[kOn] & 1) | (r[kMode] != 1 ? 0x4u : 0u) | (r[kPolarity] & 1) << 3 | (r[kPhase] & 3) << 4 |
          kOutputCode[r[kOutput]] << 6 | kClockCode[slot.timeBase] << 12 | (r[kEdge] == 2 ? 0x4000u : 0u);
  return QELHW_OK;
}

std::uint32_t Rounded(std::uint32_t value, std::uint32_t divisor) {
  return static_cast<std::uint32_t>((std::uint64_t{value} + divisor / 2) / divisor);
}

QelHwStatus SetStrobe(YatGrabCtrlContext* context) {
  QelHwStatus status = GrabCtrlBusyCheck(context);
  if (status != QELHW_OK) return status;
  ChooseBase(context->strobe);
  std::uint32_t bits = 0;
  status = ControlBits(context->strobe, &bits);
  constexpr std::uint32_t kFields = 0x1 | 0x4 | 0x8 | 0x30 | 0xC0 | 0x3000 | 0x4000 | 0x8000;
  if (status == QELHW_OK) status = GrabCtrlUpdate(context, YAT_GC_REG_STROBE_CONTROL, kFields, bits);
  if (status == QELHW_OK) status = GrabCtrl_ApplyStrobe(context);
  return status;
}

}  // namespace

QelHwStatus GrabCtrl_ApplyStrobe(YatGrabCtrlContext* context) {
  if (!GrabCtrlUsable(context) || context->strobe.timeBase > kMaxBase) return QELHW_ERROR_ARG_INVALID;
  const StrobeRecord r = GrabCtrlWords<kStrobeWords>(context->strobe.record);
  const std::uint32_t divisor = kDivisor[context->strobe.timeBase];
  const std::uint32_t a = Rounded(r[kValueA], divisor), b = Rounded(r[kValueB], divisor),
                      c = Rounded(r[kValueC], divisor);
  QelHwStatus status = GrabCtrlWrite(context, YAT_GC_REG_STROBE_A, a);
  // An end before the start: the strobe never ends.
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_STROBE_B, b < a ? 0xFFFFFFFF : b);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_STROBE_C, c);
  return status;
}

QelHwStatus GrabCtrl_SetStrobeTimer(YatGrabCtrlContext* context, const void* strobe) {
  if (!GrabCtrlUsable(context) || strobe == nullptr) return QELHW_ERROR_ARG_INVALID;
  const YatGrabCtrlContext kept = *context;
  std::memcpy(context->strobe.record, strobe, sizeof context->strobe.record);
  const QelHwStatus status = SetStrobe(context);
  // A refused strobe leaves the previous set-up in the handle.
  if (status != QELHW_OK) *context = kept;
  return status;
}

QelHwStatus GrabCtrl_SetDoublePulseTimers(YatGrabCtrlContext* context, const void* doublePulse) {
  if (!GrabCtrlUsable(context) || doublePulse == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::memcpy(context->doublePulse, doublePulse, sizeof context->doublePulse);
  const PulseRecord r = GrabCtrlWords<kPulseWords>(context->doublePulse);
  std::uint32_t control = (r[1] & 1) | ((r[2] - 1) & 1) << 1 | (r[3] != 1 ? 0xCu : 0u) | (r[5] != 0 ? 0x10u : 0u) |
                          (r[6] != 0 ? 0x20u : 0u) | (r[7] != 0 ? 0x40u : 0u);
  // Long gaps are counted in thousands to fit the 16-bit field.
  const bool thousands = r[8] >= 0x10000;
  control |= (thousands ? 0x800u : 0u) | ((thousands ? r[8] / 1000 : r[8]) & 0xFFFF) << 12;
  QelHwStatus status = GrabCtrlWrite(context, YAT_GC_REG_DOUBLE_PULSE_CONTROL, control);
  for (std::uint32_t pair = 0; pair < 4 && status == QELHW_OK; ++pair) {
    const std::uint32_t low = r[9 + 2 * pair] & 0xFFFF, high = r[10 + 2 * pair];
    status = GrabCtrlWrite(context, YAT_GC_REG_DOUBLE_PULSE_CONTROL + 1 + pair, low + (high << 16));
  }
  return status;
}
