// Frame and line triggers of a camera's grab controller: the trigger set-up
// from the caller's 144-byte record, the software trigger, the trigger mode,
// count and line mode.
#include <array>
#include <cstdint>

#include "driver/user/GrabCtrl.h"

namespace {

constexpr std::size_t kTriggerWords = 36;
using TriggerRecord = std::array<std::uint32_t, kTriggerWords>;

// Words of the frame trigger record.
constexpr std::size_t kFrameTriggerOn = 2, kSource = 3, kTriggerCount = 5, kDelay = 7, kEdge = 9,
                      kSecondTriggerOn = 11, kSecondValue = 12, kSecondKind = 13, kThirdTriggerOn = 15,
                      kFramesPerTrigger = 16, kLineTriggerOn = 19, kLineMode = 20, kLineValue = 21,
                      kFourthTriggerOn = 23, kFilter = 34, kFramesPerGroup = 35;

constexpr std::array<std::uint32_t, 8> kSourceCode = {0, 2, 3, 1, 0, 4, 9, 8};

// Trigger control (logical 7) bits.
constexpr std::uint32_t kSourceBits = 0xF, kSecondKindBits = 0x30, kDelayInThousands = 1u << 9,
                        kSoftwareTrigger = 1u << 8, kEdgeBit = 1u << 11, kFrameTriggerBit = 1u << 12,
                        kSecondTriggerBit = 1u << 13, kThirdTriggerBit = 1u << 14, kDelayOn = 1u << 15,
                        kDelayBits = 0xFFFF0000, kAnyTrigger = kFrameTriggerBit | kSecondTriggerBit | kThirdTriggerBit;

constexpr std::uint32_t kMaxDelay = 65535000, kMaxFilter = 16383000, kFilterDirect = 16383;
constexpr std::uint32_t kTriggerValueBits = 0x3FFFFFFF;

std::uint32_t Thousands(std::uint32_t value) {
  return static_cast<std::uint32_t>((std::uint64_t{value} + 500) / 1000);
}

// Steps 1 and 2: the frame trigger's source, edge and delay.
QelHwStatus FrameTriggerBits(const TriggerRecord& r, std::uint32_t* c7) {
  *c7 &= ~kAnyTrigger;
  if (r[kFrameTriggerOn] == 0) return QELHW_OK;
  if (r[kSource] >= kSourceCode.size()) return QELHW_ERROR_ARG_INVALID;
  *c7 |= kFrameTriggerBit;
  *c7 = (*c7 & ~kSourceBits) | kSourceCode[r[kSource]];
  *c7 = r[kDelay] != 0 ? *c7 | kDelayOn : *c7 & ~kDelayOn;
  *c7 = r[kEdge] == 2 ? *c7 | kEdgeBit : *c7 & ~kEdgeBit;
  if (r[kDelay] == 0) return QELHW_OK;
  if (r[kDelay] > kMaxDelay) return QELHW_ERROR_ARG_INVALID;
  // Long delays go in thousands so that they fit the 16-bit field.
  if (r[kDelay] > 0xFFFF)
    *c7 = (*c7 & ~kDelayBits) | (Thousands(r[kDelay]) << 16) | kDelayInThousands;
  else
    *c7 = ((*c7 & ~kDelayBits) | (r[kDelay] << 16)) & ~kDelayInThousands;
  return QELHW_OK;
}

// Steps 3 and 4: the second and third trigger inputs.
QelHwStatus OtherTriggerBits(const TriggerRecord& r, std::uint32_t* c7, std::uint32_t* c6) {
  if (r[kSecondTriggerOn] != 0) *c7 |= kSecondTriggerBit;
  if (r[kThirdTriggerOn] != 0) *c7 |= kThirdTriggerBit;
  if (r[kSecondTriggerOn] == 0) return QELHW_OK;
  *c6 = (*c6 & ~kTriggerValueBits) | (r[kSecondValue] & kTriggerValueBits);
  std::uint32_t kind = 0;
  switch (r[kSecondKind]) {
    case 1: kind = r[kFrameTriggerOn] != 0 ? 3 : 2; break;
    case 2: kind = 0; break;
    case 4: kind = 1; break;
    default: return QELHW_ERROR_ARG_INVALID;
  }
  *c7 = (*c7 & ~kSecondKindBits) | (kind << 4);
  return QELHW_OK;
}

// Step 5: the trigger filter word (logical 31); only with a trigger in use.
QelHwStatus FilterWord(const TriggerRecord& r, std::uint32_t c7, std::uint32_t* t) {
  *t = 0;
  if (r[kFilter] == 0 || (c7 & kAnyTrigger) == 0) return QELHW_OK;
  if (r[kFilter] > kMaxFilter) return QELHW_ERROR_ARG_INVALID;
  *t = 1u << 15;
  *t |= r[kFilter] <= kFilterDirect ? r[kFilter] : Thousands(r[kFilter]) | (1u << 14);
  return QELHW_OK;
}

// Step 7: the line trigger (logical 10, then logical 9).
QelHwStatus LineTrigger(YatGrabCtrlContext* context, const TriggerRecord& r) {
  std::uint32_t c9 = r[kLineTriggerOn] & 1;
  if (r[kLineTriggerOn] != 0) {
    std::uint32_t value = r[kLineValue];
    if (r[kLineMode] == 1) {
      const std::uint32_t threshold = context->words[2];
      if (r[kLineValue] > threshold) {
        c9 |= 3u << 2;
        value = Thousands(r[kLineValue]);
      }
    } else if (r[kLineMode] == 3) {
      c9 |= 2u << 2;
    } else {
      return QELHW_ERROR_ARG_INVALID;
    }
    const QelHwStatus status = GrabCtrlWrite(context, YAT_GC_REG_LINE_TRIGGER_VALUE, value & 0xFFFF);
    if (status != QELHW_OK) return status;
  }
  return GrabCtrlWrite(context, YAT_GC_REG_LINE_TRIGGER_CONTROL, c9);
}

// Step 8: frames per group without a trigger, frames per trigger with one.
void KeepCounts(YatGrabCtrlContext* context, const TriggerRecord& r) {
  const bool triggered = r[kFourthTriggerOn] != 0 || r[kThirdTriggerOn] != 0 || r[kSecondTriggerOn] != 0 ||
                         r[kFrameTriggerOn] != 0;
  if (!triggered) {
    context->framesPerGroup = r[kFramesPerGroup] != 0 ? r[kFramesPerGroup] : 1;
    context->extTriggerFrameCount = 1;
  } else {
    context->framesPerGroup = 1;
    context->extTriggerFrameCount = r[kFramesPerTrigger] != 0 ? r[kFramesPerTrigger] : 1;
  }
}

}  // namespace

QelHwStatus GrabCtrl_FrameTriggerEnable(YatGrabCtrlContext* context, const void* frameTrigger) {
  if (frameTrigger == nullptr) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = GrabCtrlBusyCheck(context);
  if (status != QELHW_OK) return status;
  const TriggerRecord r = GrabCtrlWords<kTriggerWords>(frameTrigger);
  std::uint32_t c7 = 0, c6 = 0, t = 0;
  status = GrabCtrlRead(context, YAT_GC_REG_TRIGGER_CONTROL, &c7);
  if (status == QELHW_OK) status = GrabCtrlRead(context, YAT_GC_REG_TRIGGER_VALUE, &c6);
  // A refused value leaves every register as it was.
  if (status == QELHW_OK) status = FrameTriggerBits(r, &c7);
  if (status == QELHW_OK) status = OtherTriggerBits(r, &c7, &c6);
  if (status == QELHW_OK) status = FilterWord(r, c7, &t);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_CONTROL, c7);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_VALUE, c6);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_FILTER, t);
  if (status == QELHW_OK) status = LineTrigger(context, r);
  if (status != QELHW_OK) return status;
  KeepCounts(context, r);
  return GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_COUNT, r[kTriggerCount]);
}

QelHwStatus GrabCtrl_SoftwareTrigger(YatGrabCtrlContext* context) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t c7 = 0;
  QelHwStatus status = GrabCtrlRead(context, YAT_GC_REG_TRIGGER_CONTROL, &c7);
  // The controller takes the rising edge of the bit as the trigger.
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_CONTROL, c7 | kSoftwareTrigger);
  if (status == QELHW_OK) status = GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_CONTROL, c7 & ~kSoftwareTrigger);
  return status;
}

QelHwStatus GrabCtrl_SetTriggerMode(YatGrabCtrlContext* context, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  QelHwStatus status = GrabCtrlBusyCheck(context);
  if (status != QELHW_OK) return status;
  std::uint32_t control = 0;
  status = GrabCtrlRead(context, YAT_GC_REG_ACQ_CONTROL, &control);
  if (status != QELHW_OK) return status;
  constexpr std::uint32_t kModeBit = 1u << 5, kModeField = 3u << 6;
  if (a != 1) {
    control = (control & ~(kModeBit | kModeField)) | ((a == 3 ? 2u : 3u) << 6);
  } else if (c != 2) {
    const std::uint32_t field = b == 2 ? 2 : b == 1 ? 3 : 0;
    control = (control & ~kModeField) | kModeBit | (field << 6);
  } else {
    control &= ~(kModeBit | kModeField);
  }
  return GrabCtrlWrite(context, YAT_GC_REG_ACQ_CONTROL, control & ~0x7u);
}

QelHwStatus GrabCtrl_SetTriggerCount(YatGrabCtrlContext* context, std::uint32_t count) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrlWrite(context, YAT_GC_REG_TRIGGER_COUNT, count);
}

QelHwStatus GrabCtrl_SetLineMode(YatGrabCtrlContext* context, std::uint32_t a, std::uint32_t b) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrlWrite(context, YAT_GC_REG_LINE_MODE, (a == 2 ? 1u : 0u) + (b == 1 ? 8u : 0u));
}
