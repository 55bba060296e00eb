// Triggers, timers, the strobe, the double pulse and the camera-control lines
// of a camera input, and the two front-end switches taken through a handle.
#include <array>
#include <cstring>

#include "driver/user/BoardSetup.h"
#include "driver/user/FrontEnd.h"
#include "driver/user/GrabCtrl.h"
#include "driver/user/YatAcqInternal.h"
#include "driver/user/YatPackerArbiter.h"

namespace {

constexpr std::uint32_t kRegAcqControl = 4208;  // 0x1070
constexpr std::uint32_t kTriggerDelayByte = 0xFF000000;
constexpr std::uint32_t kFormatModeTwo = 2;
constexpr std::uint32_t kFtWordSource = 3;
constexpr std::uint32_t kStrobeWordA = 4;
constexpr std::uint32_t kStrobeWordUnit = 10;
constexpr std::uint32_t kStrobeUnitFine = 5;
constexpr std::uint32_t kStrobeCompensation = 200;
constexpr std::uint32_t kCameraControlLines = 4;

// Line-trigger record words.
constexpr std::uint32_t kLtEnable = 2, kLtSource = 3, kLtParameter = 4, kLtFirstCount = 7, kLtInputA = 8,
                        kLtInputB = 9, kLtSecondCount = 10, kLtInversion = 11, kLtEdge = 12, kLtTimerOn = 14,
                        kLtTimerPeriod = 15;
constexpr std::uint32_t kLtSourceLineInput = 5;
constexpr std::uint32_t kLtPeriodUnitNs = 100;

// With format mode 2 the frame trigger arrives on the other pair of inputs.
std::uint32_t SourceForFormatModeTwo(std::uint32_t source) {
  switch (source) {
    case 6:
    case 2: return 3;
    case 7:
    case 1: return 4;
    default: return source;
  }
}

// The front end's line-trigger settings from the caller's record. The record's
// source 5 is the line-trigger input of the camera connector; every other
// source counts shaft-encoder steps, divided by the source parameter (word 4).
// The internal line timer's period (word 15) is in tenths of a microsecond.
YatLineTriggerSettings LineTriggerOf(const void* r) {
  YatLineTriggerSettings t{};
  t.timerEnabled = YatAcq_Word(r, kLtTimerOn);
  t.timerPeriodNs = YatAcq_Word(r, kLtTimerPeriod) * kLtPeriodUnitNs;
  if (YatAcq_Word(r, kLtEnable) == 0) return t;
  const std::uint32_t source = YatAcq_Word(r, kLtSource);
  if (source != kLtSourceLineInput) {
    t.encoder = 1;
    t.encoderDivider = YatAcq_Word(r, kLtParameter);
    return t;
  }
  t.external = 1;
  t.triggerKind = source;
  t.inputKinds[0] = YatAcq_Word(r, kLtInputA);
  t.inputKinds[1] = YatAcq_Word(r, kLtInputB);
  t.inversion = YatAcq_Word(r, kLtInversion);
  t.edge = YatAcq_Word(r, kLtEdge);
  t.firstCount = YatAcq_Word(r, kLtFirstCount);
  t.secondCount = YatAcq_Word(r, kLtSecondCount);
  return t;
}

}  // namespace

PARDOW_API QelHwStatus QelHw_Acq_FrameTriggerEnable(YatAcqHandle* handle, const void* frameTrigger) {
  if (!YatAcq_IsValid(handle) || frameTrigger == nullptr) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = Yat_FPGA_SetFrameTrigger(handle, frameTrigger);
  if (status != QELHW_OK) return status;
  std::array<std::uint8_t, YAT_STRUCT_FRAME_TRIGGER_SIZE> copy{};
  std::memcpy(copy.data(), frameTrigger, copy.size());
  if (YatAcq_FormatWord(handle, YAT_VF_FORMAT_MODE) == kFormatModeTwo)
    YatAcq_SetWord(copy.data(), kFtWordSource, SourceForFormatModeTwo(YatAcq_Word(copy.data(), kFtWordSource)));
  status = GrabCtrl_FrameTriggerEnable(YatAcq_Refresh(handle), copy.data());
  if (status != QELHW_OK) return status;
  return Yat_FPGA_CL_SetExtFrameTriggerDelay(handle, copy.data());
}

// A trigger delay still counting refuses a new trigger.
PARDOW_API QelHwStatus QelHw_Acq_SoftwareTrigger(YatAcqHandle* handle, std::uint32_t) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  YatGrabCtrlContext* context = YatAcq_Refresh(handle);
  std::uint32_t control = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(handle->board, handle->camera, kRegAcqControl, &control);
  if (status != QELHW_OK) return status;
  if ((control & kTriggerDelayByte) != 0) return QELHW_ERROR_PARAMETER_INVALID;
  return GrabCtrl_SoftwareTrigger(context);
}

PARDOW_API QelHwStatus QelHw_Acq_SetCameraControlTimer(YatAcqHandle* handle, std::uint32_t timer, const void* record,
                                                       std::uint32_t timeBase) {
  if (!YatAcq_IsValid(handle) || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrl_SetCameraControlTimer(YatAcq_Refresh(handle), timer, record, timeBase);
}

// The strobe output lags by the board's fixed compensation when the values
// are fine-grained; the lag is taken off value A.
PARDOW_API QelHwStatus QelHw_Acq_SetStrobeTimer(YatAcqHandle* handle, const void* strobe) {
  if (!YatAcq_IsValid(handle) || strobe == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t speed = 0;
  Yat_FPGA_GetPciSpeed(handle->board, &speed);
  std::array<std::uint8_t, YAT_STROBE_RECORD_SIZE> copy{};
  std::memcpy(copy.data(), strobe, copy.size());
  const std::uint32_t valueA = YatAcq_Word(copy.data(), kStrobeWordA);
  if (YatAcq_Word(strobe, kStrobeWordUnit) == kStrobeUnitFine && valueA >= kStrobeCompensation)
    YatAcq_SetWord(copy.data(), kStrobeWordA, valueA - kStrobeCompensation);
  const QelHwStatus status = GrabCtrl_SetStrobeTimer(YatAcq_Refresh(handle), copy.data());
  if (status != QELHW_OK) return status;
  return Yat_FPGA_SetStrobeOption(handle, copy.data());
}

PARDOW_API QelHwStatus QelHw_Acq_SetDoublePulseControlTimers(YatAcqHandle* handle, const void* doublePulse) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrl_SetDoublePulseTimers(YatAcq_Refresh(handle), doublePulse);
}

// Lines without an entry keep the default source kind (0).
PARDOW_API QelHwStatus QelHw_Acq_SetCameraControlEx(YatAcqHandle* handle, const YatCameraControlList* record) {
  if (!YatAcq_IsValid(handle) || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (record->count > kCameraControlLines || (record->count != 0 && record->entries == nullptr))
    return QELHW_ERROR_ARG_INVALID;
  std::uint32_t kinds[kCameraControlLines] = {};
  for (std::uint32_t i = 0; i < record->count; ++i) {
    const YatCameraControlEntry& entry = record->entries[i];
    if (entry.number >= kCameraControlLines) return QELHW_ERROR_ARG_INVALID;
    kinds[entry.number] = entry.source;
  }
  return Yat_FPGA_SetCameraTaps(handle, kinds);
}

PARDOW_API QelHwStatus QelHw_Acq_LineTriggerEnable(YatAcqHandle* handle, const void* lineTrigger) {
  if (!YatAcq_IsValid(handle) || lineTrigger == nullptr) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_SetLineTrigger(handle, LineTriggerOf(lineTrigger));
}

PARDOW_API QelHwStatus QelHw_Acq_SetDataValid(YatAcqHandle* handle, std::uint32_t mode) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_SetDataValid(handle, mode);
}

PARDOW_API QelHwStatus QelHw_Acq_Select(YatAcqHandle* handle, std::uint32_t select) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_Packer_SetActive(handle, select);
}
