// The acquisition handle: obtaining it (the record cleared and set up with its
// grab controller and front end), validating it and refreshing its context.
#include <array>
#include <cstring>

#include "driver/user/BoardSetup.h"
#include "driver/user/EepromI2c.h"
#include "driver/user/FrontEnd.h"
#include "driver/user/GrabCtrl.h"
#include "driver/user/YatAcqInternal.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRegGrabCapability = 0x1000;
constexpr std::uint32_t kLvdsModelBits = 0x208020;
constexpr std::uint32_t kNoTimeslotModelBit = 0x100000;
constexpr std::uint32_t kScaledModelBits = 0x100010;
constexpr std::uint32_t kSecondConfigurationBit = 0x2;
constexpr std::uint32_t kEcoModelBit = 0x20;
constexpr std::uint32_t kEcoIssueOffset = 4;
constexpr std::uint32_t kEcoRevisionOffset = 5;
constexpr std::uint32_t kEcoNumberOffset = 8;
constexpr std::uint16_t kEcoRequired = 1017;
constexpr std::uint32_t kTimerKind = 12;
constexpr std::uint32_t kTimerMaximum = 0xFFFF;
constexpr std::uint32_t kIdentityEntries = 4096;
constexpr std::uint32_t kIdentityLutMode = 5;

std::uint32_t TagOf(std::uint32_t model) {
  if ((model & kLvdsModelBits) != 0) return YAT_ACQ_TAG_LVDS_BOARD;
  if ((model & kNoTimeslotModelBit) != 0) return YAT_ACQ_TAG_NO_TIMESLOT;
  if ((model & kScaledModelBits) != 0) return YAT_ACQ_TAG_SCALED;
  return YAT_ACQ_TAG_STANDARD;
}

QelHwStatus CheckArguments(std::uint32_t board, std::uint32_t camera, YatAcqHandle** out) {
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, QelHw_Acq_GetHandle ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (camera >= YAT_MAX_CAMERA_PER_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Camera Index %d, QelHw_Acq_GetHandle ARGUMENT INVALID",
              kPardowLabel, static_cast<int>(camera));
    return QELHW_ERROR_ARG_INVALID;
  }
  return QELHW_OK;
}

QelHwStatus CheckGrabController(std::uint32_t board, std::uint32_t camera) {
  std::uint32_t capability = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, kRegGrabCapability, &capability);
  if (status != QELHW_OK) return status;
  if (capability != 0 && capability != 0xFFFFFFFFu) return QELHW_OK;
  LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Camera Index %d, QelHw_Acq_GetHandle: Grab Controller not present.",
            kPardowLabel, static_cast<int>(camera));
  return QELHW_ERROR_ARG_INVALID;
}

// Early boards of the LVDS kind need engineering change 1017 to grab.
QelHwStatus CheckLvdsEco(std::uint32_t board, std::uint32_t model) {
  std::uint8_t page[YAT_EEPROM_IMAGE_SIZE] = {};
  const QelHwStatus status = Yat_Eeprom_GetInfo(board, 0, page, sizeof page);
  if (status != QELHW_OK) return status;
  std::uint16_t eco = 0;
  std::memcpy(&eco, page + kEcoNumberOffset, sizeof eco);
  if (page[kEcoIssueOffset] != 0 || (model & kEcoModelBit) == 0 || page[kEcoRevisionOffset] != 0 ||
      eco >= kEcoRequired)
    return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat-LVDS board #%d, ECO #1017 not apply", kPardowLabel,
            static_cast<int>(board + 1));
  return QELHW_ERROR_RESOURCE_NOT_ENABLED;
}

QelHwStatus ReadFirmware(YatAcqHandle* handle) {
  std::uint32_t id = 0;
  const QelHwStatus status = Yat_FPGA_GetFirmwareId(handle->board, &id);
  handle->firmwarePresent = status == QELHW_OK && id != 0 ? 1 : 0;
  if (status == QELHW_OK && id >= 1 && id <= 3) return QELHW_ERROR_RESOURCE_NOT_ALLOCATED;
  return QELHW_OK;
}

void SetContextDefaults(YatAcqHandle* handle) {
  YatGrabCtrlContext& context = handle->grabCtrl;
  context.reserved = 0;
  context.camera = handle->camera;
  context.extTriggerFrameCount = 1;
  for (YatGrabCtrlTimerSlot& slot : context.timers)
    std::memcpy(slot.limits, std::array{kTimerKind, kTimerMaximum, kTimerMaximum}.data(), sizeof slot.limits);
  std::memcpy(context.strobe.limits, std::array{kTimerKind, kTimerMaximum, kTimerMaximum}.data(),
              sizeof context.strobe.limits);
  YatAcq_Refresh(handle);
}

QelHwStatus InitGrabController(YatAcqHandle* handle) {
  const std::array<std::uint8_t, YAT_STROBE_RECORD_SIZE> strobeOff{};
  QelHwStatus status = Yat_FPGA_SetStrobeOption(handle, strobeOff.data());
  if (status == QELHW_OK) status = GrabCtrl_Init(&handle->grabCtrl);
  if (status == QELHW_OK) status = Yat_FPGA_FrontEndInit(handle);
  if (status == QELHW_OK) status = GrabCtrl_SetModeBit1(&handle->grabCtrl, 2);
  if (status == QELHW_OK) status = GrabCtrl_SetModeBit2(&handle->grabCtrl, 2);
  return status;
}

QelHwStatus LoadIdentityLuts(YatAcqHandle* handle) {
  std::array<std::uint16_t, kIdentityEntries> table{};
  for (std::uint32_t i = 0; i < kIdentityEntries; ++i) table[i] = static_cast<std::uint16_t>(i);
  const std::uint32_t planes = Yat_Digital_IsLutAvailable(handle, 12) != 0 ? 2 : 3;
  for (std::uint32_t plane = 0; plane < planes; ++plane) {
    std::uint32_t bits = 0;
    if (Yat_Digital_IsLutAvailable(handle, 8) != 0) bits = 8;
    else if (Yat_Digital_IsLutAvailable(handle, 12) != 0) bits = 12;
    if (bits == 0) continue;
    const QelHwStatus status = Yat_Digital_WriteLut(handle, 0, kIdentityLutMode, plane, bits, table.data());
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

// Steps after the record is taken; a failure leaves the fields written so far.
QelHwStatus FillHandle(YatAcqHandle* handle, std::uint32_t board, std::uint32_t camera, std::uint32_t model) {
  handle->type = TagOf(model);
  if (handle->type == YAT_ACQ_TAG_LVDS_BOARD) {
    const QelHwStatus status = CheckLvdsEco(board, model);
    if (status != QELHW_OK) return status;
  }
  handle->board = board;
  handle->camera = camera;
  handle->configurationCount =
      (model & kSecondConfigurationBit) != 0 && Yat_FPGA_IsMediumCameralink(board) == 0 ? 2 : 1;
  QelHwStatus status = ReadFirmware(handle);
  if (status != QELHW_OK) return status;
  SetContextDefaults(handle);
  status = InitGrabController(handle);
  if (status == QELHW_OK) status = LoadIdentityLuts(handle);
  return status;
}

}  // namespace

bool YatAcq_IsValid(const YatAcqHandle* handle) {
  if (handle == nullptr) return false;
  switch (handle->type) {
    case YAT_ACQ_TAG_STANDARD:
    case YAT_ACQ_TAG_LVDS_BOARD:
    case YAT_ACQ_TAG_ACCEPTED_14:
    case YAT_ACQ_TAG_SCALED:
    case YAT_ACQ_TAG_NO_TIMESLOT:
    case YAT_ACQ_TAG_ACCEPTED_17:
      return true;
    default:
      return false;
  }
}

bool YatAcq_TagInListRange(const YatAcqHandle* handle) {
  return handle->type == YAT_ACQ_TAG_STANDARD ||
         (handle->type >= YAT_ACQ_TAG_LVDS_BOARD && handle->type <= YAT_ACQ_TAG_ACCEPTED_17);
}

YatGrabCtrlContext* YatAcq_Refresh(YatAcqHandle* handle) {
  YatGrabCtrlContext& context = handle->grabCtrl;
  context.owner = handle;
  context.read = GrabCtrl_ReadDataReg;
  context.setBits = GrabCtrl_SetBitReg;
  context.write = GrabCtrl_WriteDataReg;
  return &context;
}

std::uint32_t YatAcq_Word(const void* record, std::uint32_t index) {
  std::uint32_t value = 0;
  std::memcpy(&value, static_cast<const std::uint8_t*>(record) + 4 * index, sizeof value);
  return value;
}

void YatAcq_SetWord(void* record, std::uint32_t index, std::uint32_t value) {
  std::memcpy(static_cast<std::uint8_t*>(record) + 4 * index, &value, sizeof value);
}

YatWindowWords YatAcq_WindowWords(const YatAcqHandle* handle) {
  YatWindowWords words{};
  std::memcpy(words.data(), handle->acqWindow, sizeof handle->acqWindow);
  return words;
}

std::uint32_t YatAcq_FormatWord(const YatAcqHandle* handle, std::uint32_t index) {
  return YatAcq_Word(handle->acqWindow, YAT_WINDOW_FORMAT_BASE + index);
}

PARDOW_API QelHwStatus QelHw_Acq_GetHandle(std::uint32_t board, std::uint32_t camera, YatAcqHandle** out) {
  QelHwStatus status = CheckArguments(board, camera, out);
  if (status != QELHW_OK) {
    if (out != nullptr) *out = nullptr;
    return status;
  }
  std::uint32_t model = 0;
  status = YatFeOptionWord(board, &model);
  if (status == QELHW_OK) status = CheckGrabController(board, camera);
  YatAcqHandle* handle = nullptr;
  if (status == QELHW_OK) {
    handle = &Yat_GetSharedData()->acqHandles[board][camera];
    std::memset(static_cast<void*>(handle), 0, sizeof *handle);
    status = FillHandle(handle, board, camera, model);
  }
  *out = status == QELHW_OK ? handle : nullptr;
  return status;
}

PARDOW_API QelHwStatus QelHw_Acq_ReleaseHandle(YatAcqHandle* handle) {
  return YatAcq_IsValid(handle) ? QELHW_OK : QELHW_ERROR_ARG_INVALID;
}
