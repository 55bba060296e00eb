// A camera's grab controller as a handle is obtained, and the mode bits the
// video format chooses.
#include <array>
#include <utility>

#include "driver/user/GrabCtrl.h"

namespace {

constexpr std::uint32_t kFormatModeBit = 1u << 4;
constexpr std::uint32_t kCommandLowBits = 0x7;  // bit 3 (continuous) is kept

QelHwStatus SetModeBit(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t mode) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrlUpdate(context, logical, 1, mode == 2 ? 1 : 0);
}

}  // namespace

QelHwStatus GrabCtrl_SetModeBit1(YatGrabCtrlContext* context, std::uint32_t mode) {
  return SetModeBit(context, YAT_GC_REG_MODE_BIT1, mode);
}

QelHwStatus GrabCtrl_SetModeBit2(YatGrabCtrlContext* context, std::uint32_t mode) {
  return SetModeBit(context, YAT_GC_REG_MODE_BIT2, mode);
}

QelHwStatus GrabCtrl_SetVideoFormat(YatGrabCtrlContext* context, std::uint32_t formatMode) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrlUpdate(context, YAT_GC_REG_ACQ_CONTROL, kFormatModeBit | kCommandLowBits,
                        formatMode == 2 ? kFormatModeBit : 0);
}

QelHwStatus GrabCtrl_Init(YatGrabCtrlContext* context) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = GrabCtrl_SetModeBit1(context, 2);
  if (status == QELHW_OK) status = GrabCtrl_SetModeBit2(context, 2);
  // The rest state of a controller whatever a previous owner left in it.
  constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 11> kRestState = {{
      {YAT_GC_REG_TRIGGER_VALUE, 10000},
      {YAT_GC_REG_TRIGGER_CONTROL, 32},
      {YAT_GC_REG_TRIGGER_CONTROL, 1},
      {YAT_GC_REG_TRIGGER_COUNT, 0},
      {YAT_GC_REG_LINE_TRIGGER_CONTROL, 0},
      {YAT_GC_REG_LINE_TRIGGER_VALUE, 0},
      {YAT_GC_REG_STROBE_CONTROL, 0},
      {YAT_GC_REG_GROUP_COUNT, 1},
      {YAT_GC_REG_FRAMES_PER_GROUP, 1},
      {YAT_GC_REG_TIMER0_CONTROL, 0},
      {YAT_GC_REG_TIMER0_CONTROL + 4, 0},
  }};
  for (const auto& [logical, value] : kRestState) {
    if (status != QELHW_OK) break;
    status = GrabCtrlWrite(context, logical, value);
  }
  return status;
}
