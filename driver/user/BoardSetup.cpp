// FPGA board set-up and time base.
#include "driver/user/BoardSetup.h"

#include <cstring>
#include <iterator>

#include "driver/user/EepromI2c.h"
#include "driver/user/FrontEnd.h"

namespace {

constexpr std::uint32_t kRegFirmwareId = 0x0400;  // board
constexpr std::uint32_t kRegLink = 0x10008;       // board
constexpr std::uint32_t kRegGrabCtrlWord = 0x1024;
constexpr std::uint32_t kRegTicksControl = 0x1064;
constexpr std::uint32_t kRegLastStamp = 0x106C;
constexpr std::uint32_t kRegWindowEnable = 0x1144;
constexpr std::uint32_t kRegWindowStartX = 0x1148;
constexpr std::uint32_t kRegWindowStartY = 0x114C;
constexpr std::uint32_t kRegWindowEndX = 0x1150;
constexpr std::uint32_t kRegWindowEndY = 0x1154;
constexpr std::uint32_t kRegTimeBase = 0x3044;
constexpr std::uint32_t kTickOn = 0x1;
constexpr std::uint32_t kTickProgrammable = 0x2;
constexpr std::uint32_t kTickUnitShift = 4;
constexpr std::uint32_t kTickUnitMask = 3u << kTickUnitShift;
constexpr std::uint32_t kTickDividerShift = 16;
constexpr std::uint32_t kSlowUnitsPresent = 2;
constexpr std::uint32_t kStrobeOption = 0x4;

bool SlowUnitsPresent(std::uint32_t timeBase) { return ((timeBase >> 14) & 3) == kSlowUnitsPresent; }

// The unit and divider of a programmable tick; false when the board cannot make it.
bool TickSetting(std::uint32_t tick, bool slow, std::uint32_t* unit, std::uint32_t* divider) {
  switch (tick) {
    case 1: *unit = 0; *divider = 4; return true;
    case 2: *unit = 0; *divider = 49; return true;
    case 3:
      *unit = slow ? 1 : 0;
      *divider = slow ? 999 : 49999;
      return true;
    case 4:
      *unit = 2;
      *divider = 99;
      return slow;
    default: return false;
  }
}

}  // namespace

PARDOW_API QelHwStatus Yat_FPGA_FE_MainTicksSelectTick(YatAcqHandle* handle, std::uint32_t tick) {
  if (handle == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t control = 0, timeBase = 0;
  QelHwStatus status = Yat_FPGA_ReadDataReg(handle->board, handle->camera, kRegTicksControl, &control);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(handle->board, handle->camera, kRegTimeBase, &timeBase);
  if (status != QELHW_OK) return status;
  if (tick == 0) {
    control &= ~kTickOn;
  } else {
    control |= kTickProgrammable;
    std::uint32_t unit = 0, divider = 0;
    if (TickSetting(tick, SlowUnitsPresent(timeBase), &unit, &divider)) {
      timeBase = (timeBase & ~(kTickUnitMask | 0xFFFF0000u)) | (unit << kTickUnitShift) | (divider << kTickDividerShift);
    } else if (!SlowUnitsPresent(timeBase)) {
      return QELHW_ERROR_ARG_INVALID;
    }
  }
  status = Yat_FPGA_WriteDataReg(handle->board, handle->camera, kRegTicksControl, control);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(handle->board, handle->camera, kRegTimeBase, timeBase);
  return status;
}

PARDOW_API QelHwStatus Yat_FPGA_SetCounterStampTimeBase(std::uint32_t board, std::uint32_t camera,
                                                        std::uint32_t timeBase) {
  static constexpr std::uint32_t kBits[9] = {0, 0, 0, 0, 7, 0, 0, 4, 6};
  if (timeBase >= std::size(kBits)) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_SetBitReg(board, camera, kRegTimeBase, kBits[timeBase], 7);
}

PARDOW_API QelHwStatus Yat_FPGA_GetLastTimeStamp(std::uint32_t board, std::uint32_t camera, std::uint32_t* stamp) {
  if (stamp == nullptr) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_ReadDataReg(board, camera, kRegLastStamp, stamp);
}

PARDOW_API QelHwStatus Yat_FPGA_GrabStatus(std::uint32_t board, std::uint32_t camera, std::uint32_t* status) {
  if (status == nullptr) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_ReadDataReg(board, camera, YAT_FE_REG_GRAB_STATUS, status);
}

QelHwStatus Yat_FPGA_GetPciSpeed(std::uint32_t board, std::uint32_t* speed) {
  if (speed == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t link = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kRegLink, &link);
  if (status == QELHW_OK) *speed = (link & 0x60000000) >> 28;
  return status;
}

QelHwStatus Yat_FPGA_GetFirmwareId(std::uint32_t board, std::uint32_t* id) {
  if (id == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t value = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kRegFirmwareId, &value);
  if (status == QELHW_OK) *id = value & 0xFFFFF;
  return status;
}

// This board family has one memory bank: there is nothing to select.
QelHwStatus Yat_FPGA_SetMemoryBank(std::uint32_t) { return QELHW_OK; }

QelHwStatus Yat_FPGA_FrontEndInit(YatAcqHandle* handle) {
  const std::uint32_t board = handle->board, camera = handle->camera;
  std::uint32_t timeBase = 0, control = 0;
  QelHwStatus status = Yat_FPGA_WriteDataReg(board, camera, YAT_FE_REG_OPTIONS, 0);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(board, camera, kRegTimeBase, &timeBase);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(board, camera, kRegTicksControl, &control);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(board, camera, kRegTicksControl, control | kTickOn);
  if (status == QELHW_OK) {
    timeBase = (timeBase & 0xFFC0u) | (4u << kTickDividerShift);
    status = Yat_FPGA_WriteDataReg(board, camera, kRegTimeBase, timeBase);
  }
  if (status == QELHW_OK) status = Yat_FPGA_FE_MainTicksSelectTick(handle, 0);
  if (status == QELHW_OK) status = Yat_FPGA_DefaultValues(handle);
  return status;
}

QelHwStatus Yat_FPGA_SetWindow(YatAcqHandle* handle, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                               std::uint32_t height) {
  const struct {
    std::uint32_t reg, value;
  } writes[] = {{kRegWindowStartX, x + 1}, {kRegWindowStartY, y + 1},  {kRegWindowEndX, x + width},
                {kRegWindowEndY, y + height}, {kRegWindowEnable, 1}, {YAT_FE_REG_LINES, height}};
  for (const auto& w : writes) {
    const QelHwStatus status = Yat_FPGA_WriteDataReg(handle->board, handle->camera, w.reg, w.value);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus Yat_FPGA_SetStrobeOption(YatAcqHandle* handle, const void* strobeRecord) {
  if (handle == nullptr || strobeRecord == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint8_t page[YAT_EEPROM_IMAGE_SIZE] = {};
  std::uint32_t options = 0, strobeOn = 0;
  std::memcpy(&strobeOn, static_cast<const std::uint8_t*>(strobeRecord) + 4, sizeof strobeOn);
  QelHwStatus status = Yat_Eeprom_GetInfo(handle->board, 0, page, sizeof page);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(handle->board, handle->camera, YAT_FE_REG_OPTIONS, &options);
  if (status != QELHW_OK) return status;
  options = (options & ~(0x3u | kStrobeOption)) | ((strobeOn & 1) != 0 ? kStrobeOption : 0);
  return Yat_FPGA_WriteDataReg(handle->board, handle->camera, YAT_FE_REG_OPTIONS, options);
}

QelHwStatus Yat_FPGA_SetGrabCtrlLowByte(YatAcqHandle* handle, std::uint32_t value) {
  return Yat_FPGA_SetBitReg(handle->board, handle->camera, kRegGrabCtrlWord, value & 0xFF, 0xFF);
}

QelHwStatus Yat_FPGA_SetGrabCtrlHighWord(YatAcqHandle* handle, std::uint32_t value) {
  return Yat_FPGA_SetBitReg(handle->board, handle->camera, kRegGrabCtrlWord, (value & 0xFFFF) << 16, 0xFFFF0000);
}
