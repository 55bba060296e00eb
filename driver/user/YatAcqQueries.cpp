// What a handle or a board answers about acquisition: the standard video
// formats, the window capabilities, the grab status, bus widths, the camera's
// detected geometry and the serial-port count of a board model.
#include <array>
#include <cstring>

#include "driver/user/FrontEnd.h"
#include "driver/user/YatAcqInternal.h"

namespace {

constexpr std::uint32_t kGrabbingBit = 0x1;
constexpr std::uint32_t kDigitalBusWidth = 16;
constexpr std::uint32_t kWideFrontEndFlag = 0x100;
constexpr std::uint32_t kDescriptionFlagsOffset = 72;
constexpr std::uint32_t kStatusLineWidth = 0x1;
constexpr std::uint32_t kStatusFrameHeight = 0x2;
constexpr std::uint32_t kModelWordOffset = 38;
constexpr std::uint16_t kSecondSerialPort = 0x2;
constexpr std::uint16_t kSecondPortRestricted = 0x1000;
constexpr std::uint32_t kSecondPortModels[] = {551, 568};

struct StdRow {
  std::uint32_t clock, width, height, bits, taps, type, w24, w25, w26, mode, w61;
};

constexpr std::array<StdRow, YAT_STD_VIDEO_FORMATS> kStdRows = {{
    {20000000, 640, 480, 8, 1, 5, 1, 2, 1, 1, 0},
    {33000000, 128, 1024, 8, 10, 5, 1, 3, 16, 1, 0},
    {33000000, 128, 1024, 8, 10, 5, 1, 3, 64, 1, 0},
    {40000000, 80, 1024, 8, 16, 5, 1, 3, 32, 1, 0},
    {20000000, 640, 480, 8, 1, 5, 1, 2, 0, 1, 0},
    {3125000000u, 12000, 512, 8, 1, 5, 1, 2, 0, 2, 5},
    {33000000, 128, 1024, 10, 8, 5, 1, 3, 128, 1, 0},
    {80000000, 1024, 512, 8, 8, 7, 5, 3, 4, 2, 0},
    {3125000000u, 1024, 3072, 8, 4, 5, 1, 2, 0, 1, 4},
}};

YatFormatWords StdFormat(const StdRow& r) {
  YatFormatWords w{};
  w[0] = YAT_VIDEO_FORMAT_SIZE;
  w[1] = 13;
  w[4] = 8;
  for (const std::uint32_t one : {7u, 9u, 12u, YAT_VF_SEGMENTS, YAT_VF_MULTIPLIER}) w[one] = 1;
  w[13] = 2;
  for (std::uint32_t i = 0; i < YAT_VF_TAP_FLAG_COUNT; ++i) w[YAT_VF_TAP_FLAGS + i] = 21;
  w[2] = r.clock;
  w[YAT_VF_WIDTH] = r.width;
  w[YAT_VF_HEIGHT] = r.height;
  w[YAT_VF_BITS] = r.bits;
  w[YAT_VF_TAPS] = r.taps;
  w[YAT_VF_VIDEO_TYPE] = r.type;
  w[24] = r.w24;
  w[25] = r.w25;
  w[26] = r.w26;
  w[YAT_VF_FORMAT_MODE] = r.mode;
  w[61] = r.w61;
  return w;
}

// One capabilities row per internal bus width (32, 16, anything else).
std::array<std::uint32_t, YAT_ACQ_WINDOW_CAPS_SIZE / 4> CapsRow(std::uint32_t busWidth) {
  const std::uint32_t width = busWidth == 32 || busWidth == 16 ? busWidth : 8;
  const std::uint32_t step = busWidth == 32 || busWidth == 16 ? 1 : 0xFFFFFF;
  return {YAT_ACQ_WINDOW_CAPS_SIZE, width, 0, 0xFFFFFF, 1, 0, 0xFFFFFF, width, width, 0xFFFFFF, 1, 1,
          0xFFFFFF, width, 1, step, 100, 100, 1, 1, step, 100, 100};
}

QelHwStatus CopyCaps(std::uint32_t board, void* out) {
  std::uint32_t busWidth = 0;
  const QelHwStatus status = Yat_Man_GetInternalBusWidth(board, &busWidth);
  if (status != QELHW_OK) return status;
  const auto row = CapsRow(busWidth);
  std::memcpy(out, row.data(), sizeof row);
  return QELHW_OK;
}

}  // namespace

const YatFormatWords& YatAcq_StdVideoFormat(std::uint32_t index) {
  static const std::array<YatFormatWords, YAT_STD_VIDEO_FORMATS> formats = [] {
    std::array<YatFormatWords, YAT_STD_VIDEO_FORMATS> all{};
    for (std::uint32_t i = 0; i < YAT_STD_VIDEO_FORMATS; ++i) all[i] = StdFormat(kStdRows[i]);
    return all;
  }();
  return formats[index < YAT_STD_VIDEO_FORMATS ? index : 0];
}

PARDOW_API QelHwStatus QelHw_Acq_GetStdVideoFormat(YatAcqHandle*, std::uint32_t index, void* out) {
  if (out == nullptr || index >= YAT_STD_VIDEO_FORMATS) return QELHW_ERROR_ARG_INVALID;
  std::memcpy(out, YatAcq_StdVideoFormat(index).data(), YAT_VIDEO_FORMAT_SIZE);
  return QELHW_OK;
}

PARDOW_API QelHwStatus QelHw_Acq_GetAcqWindowCaps(YatAcqHandle* handle, void* out) {
  if (!YatAcq_IsValid(handle) || out == nullptr) return QELHW_ERROR_ARG_INVALID;
  return CopyCaps(handle->board, out);
}

PARDOW_API QelHwStatus Yat_Digital_GetAcqWindowCaps(std::uint32_t board, void* out) {
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  return CopyCaps(board, out);
}

// The grab controller never reports a grab in progress through this word.
PARDOW_API QelHwStatus QelHw_Acq_GetGrabStatus(YatAcqHandle*, std::uint32_t* status) {
  if (status == nullptr) return QELHW_ERROR_ARG_INVALID;
  *status &= ~kGrabbingBit;
  return QELHW_OK;
}

PARDOW_API QelHwStatus QelHw_Acq_GetHorizontalHactiveMultiple(YatAcqHandle* handle, std::uint32_t* out) {
  if (!YatAcq_IsValid(handle) || out == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t multiple = 0;
  QelHwStatus status = Yat_Man_GetInternalBusWidth(handle->board, &multiple);
  std::array<std::uint8_t, YAT_FLASH_RECORD_SIZE> info{};
  if (status == QELHW_OK) status = Yat_Man_GetVirtex2Info(handle->board, info.data());
  if (status == QELHW_OK) {
    std::uint32_t flags = 0;
    std::memcpy(&flags, info.data() + kDescriptionFlagsOffset, sizeof flags);
    if ((flags & kWideFrontEndFlag) != 0) multiple = 1;
  }
  *out = status != QELHW_OK || multiple == 0 ? 1 : multiple;
  return status;
}

PARDOW_API QelHwStatus QelHw_Acq_GetInternalBusWidth(YatAcqHandle* handle, std::uint32_t* out) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return Yat_Man_GetInternalBusWidth(handle->board, out);
}

PARDOW_API QelHwStatus QelHw_Man_Connect(std::uint32_t, std::uint32_t) { return QELHW_OK; }
PARDOW_API QelHwStatus QelHw_Man_Disconnect(std::uint32_t, std::uint32_t) { return QELHW_OK; }

PARDOW_API std::uint32_t Yat_Digital_IsPresent(std::uint32_t) { return 1; }

PARDOW_API QelHwStatus Yat_Digital_GetInternalBusWidth(std::uint32_t, std::uint32_t* out) {
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  *out = kDigitalBusWidth;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Digital_GetSerialPortCount(const void* eepromImage, std::uint32_t* count,
                                                      std::uint32_t* second, std::uint32_t modelNumber) {
  if (count == nullptr || second == nullptr || eepromImage == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint16_t model = 0;
  std::memcpy(&model, static_cast<const std::uint8_t*>(eepromImage) + kModelWordOffset, sizeof model);
  *second = 0;
  *count = (model & kSecondSerialPort) != 0 ? 2 : 1;
  const bool knownModel = modelNumber == kSecondPortModels[0] || modelNumber == kSecondPortModels[1];
  if ((model & kSecondSerialPort) != 0 && (model & kSecondPortRestricted) != 0 && !knownModel) *count = 1;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Digital_DetectVideoFormat(YatAcqHandle* handle, void* out) {
  if (out == nullptr || !YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  const std::uint32_t taps = YatAcq_FormatWord(handle, YAT_VF_TAPS);
  std::uint32_t status = 0;
  QelHwStatus result = Yat_FPGA_Camera_Status(handle->board, handle->camera, taps, &status);
  if (result != QELHW_OK) return result;
  if ((status & kStatusLineWidth) != 0) {
    std::uint32_t width = 0;
    result = Yat_FPGA_Get_LineWidth(handle->board, handle->camera, &width);
    if (result != QELHW_OK) return result;
    if (handle->type == YAT_ACQ_TAG_SCALED && taps != 0) width = width * 16 / taps;
    YatAcq_SetWord(out, YAT_VF_WIDTH, width);
  }
  if ((status & kStatusFrameHeight) != 0) {
    std::uint32_t height = 0;
    result = Yat_FPGA_Get_FrameWidth(handle->board, handle->camera, &height);
    if (result != QELHW_OK) return result;
    YatAcq_SetWord(out, YAT_VF_HEIGHT, height);
  }
  return QELHW_OK;
}
