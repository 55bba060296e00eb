// Video formats and acquisition windows of a handle: the pixel packer, the
// front-end crop window and the acquisition mode follow the format, and a
// refused set-up leaves the handle with its previous format or window.
#include <algorithm>
#include <array>
#include <cstring>

#include "driver/user/BoardSetup.h"
#include "driver/user/FrontEnd.h"
#include "driver/user/GrabCtrl.h"
#include "driver/user/YatAcqInternal.h"
#include "driver/user/YatManRequests.h"
#include "driver/user/YatPackerArbiter.h"

namespace {

constexpr std::uint32_t kVideoTypeMono = 5;
constexpr std::uint32_t kVideoTypeColour = 6;
constexpr std::uint32_t kFormatMono8 = 1;
constexpr std::uint32_t kFormatMono16 = 10;
constexpr std::uint32_t kFormatColour = 6;
constexpr std::uint32_t kFormatColourDeep = 11;
constexpr std::uint32_t kScaledWidthDivisor = 16;
constexpr std::uint32_t kSegmentFlagsKeep = 0x50;
constexpr std::uint32_t kSegmentFlagsMirror = 0x20;

// Window words of the crop-length rule.
constexpr std::uint32_t kWHeight = YAT_WINDOW_FORMAT_BASE + YAT_VF_HEIGHT;
constexpr std::uint32_t kWTaps = YAT_WINDOW_FORMAT_BASE + YAT_VF_TAPS;
constexpr std::uint32_t kWSegments = YAT_WINDOW_FORMAT_BASE + YAT_VF_SEGMENTS;
constexpr std::uint32_t kWFlags = YAT_WINDOW_FORMAT_BASE + YAT_VF_TAP_FLAGS;
constexpr std::uint32_t kWFormatMode = YAT_WINDOW_FORMAT_BASE + YAT_VF_FORMAT_MODE;

std::uint8_t* FormatBytes(YatAcqHandle* handle) { return handle->acqWindow + YAT_ACQ_WINDOW_HEAD_SIZE; }

// Two segments read out from both ends: the crop length covers what the two
// halves need, and the multiplier says how many lines the front end merges.
void TwoSegmentLength(const YatWindowWords& w, std::uint32_t flags, std::uint32_t* length, std::uint32_t* multiplier) {
  const std::uint32_t a = w[YAT_WH_CROP_LENGTH_A], b = w[YAT_WH_CROP_LENGTH_B], height = w[kWHeight];
  if ((flags & kSegmentFlagsKeep) != 0) return;
  if (a * 2 >= height) {
    *length = a * 2 - height + b * 2;
    *multiplier = 2;
  } else if ((a + b) * 2 <= height) {
    *length = (flags & kSegmentFlagsMirror) != 0 ? height - a * 2 : (a + b) * 2;
  } else if ((flags & kSegmentFlagsMirror) != 0) {
    const std::uint32_t first = height - a * 2, second = b * 2 - first;
    *length = std::max(first, second);
    *multiplier = second < first ? 1 : 2;
  } else {
    *length = height;
  }
}

QelHwStatus ApplyVideoFormat(YatAcqHandle* handle, std::uint32_t pixelFormat) {
  const YatWindowWords w = YatAcq_WindowWords(handle);
  const YatPackerFormat packer = YatAcq_PackerFormatOf(w);
  QelHwStatus status = Yat_FPGA_Packer_SetFormat(handle, &packer, pixelFormat);
  if (status == QELHW_OK) status = YatAcq_CropToWindow(handle, pixelFormat);
  const std::uint32_t mode = YatAcq_FormatWord(handle, YAT_VF_FORMAT_MODE);
  if (status == QELHW_OK) status = Yat_FPGA_SetAcquireMode(handle, mode);
  if (status == QELHW_OK) status = GrabCtrl_SetVideoFormat(YatAcq_Refresh(handle), mode);
  return status;
}

bool UsesTimeslots(std::uint32_t tag) {
  return tag != YAT_ACQ_TAG_SCALED && tag != YAT_ACQ_TAG_NO_TIMESLOT && tag != YAT_ACQ_TAG_ACCEPTED_17;
}

}  // namespace

QelHwStatus YatAcq_CropLength(const YatWindowWords& w, std::uint32_t* length, std::uint32_t* multiplier) {
  *length = w[YAT_WH_CROP_LENGTH_A] + w[YAT_WH_CROP_LENGTH_B];
  *multiplier = 1;
  if (w[kWFormatMode] != 1) return QELHW_OK;
  const std::uint32_t segments = w[kWSegments];
  if (segments == 2) {
    if (w[kWTaps] >= YAT_VF_TAP_FLAG_COUNT) return QELHW_ERROR_ARG_INVALID;
    TwoSegmentLength(w, w[kWFlags] & w[kWFlags + w[kWTaps]], length, multiplier);
  } else if (segments >= 3) {
    *multiplier = segments;
  }
  return QELHW_OK;
}

QelHwStatus YatAcq_Crop(YatAcqHandle* handle, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                        std::uint32_t length, std::uint32_t pixelFormat) {
  const std::uint32_t m = std::max<std::uint32_t>(YatAcq_FormatWord(handle, YAT_VF_MULTIPLIER), 1);
  const std::uint32_t packing = YatAcq_Word(handle->acqWindow, YAT_WH_PACKING);
  const std::uint32_t f = (packing == 4 || packing == 5) && Yat_Format_GetBytesPerPixel(pixelFormat) > 2 ? 2 : 1;
  std::uint32_t d = 1;
  if (handle->type == YAT_ACQ_TAG_SCALED) {
    width *= YatAcq_FormatWord(handle, YAT_VF_TAPS);
    if (YatAcq_FormatWord(handle, YAT_VF_BITS) > 8) width *= 2;
    d = kScaledWidthDivisor;
  }
  return Yat_FPGA_SetWindow(handle, x * m * f / d, y, width * m * f / d, length);
}

QelHwStatus YatAcq_CropToWindow(YatAcqHandle* handle, std::uint32_t pixelFormat) {
  std::uint32_t length = 0, multiplier = 1;
  const QelHwStatus status = YatAcq_CropLength(YatAcq_WindowWords(handle), &length, &multiplier);
  if (status != QELHW_OK) return status;
  handle->cropLineMultiplier = multiplier;
  const std::uint32_t y = YatAcq_FormatWord(handle, YAT_VF_FORMAT_MODE) == 1 ? YatAcq_FormatWord(handle, YAT_VF_CROP_Y) : 0;
  return YatAcq_Crop(handle, YatAcq_FormatWord(handle, YAT_VF_CROP_X), y, YatAcq_FormatWord(handle, YAT_VF_WIDTH),
                     length, pixelFormat);
}

std::uint32_t YatAcq_PixelFormatOf(const void* videoFormat) {
  const bool deep = YatAcq_Word(videoFormat, YAT_VF_BITS) > 8;
  switch (YatAcq_Word(videoFormat, YAT_VF_VIDEO_TYPE)) {
    case kVideoTypeMono: return deep ? kFormatMono16 : kFormatMono8;
    case kVideoTypeColour: return deep ? kFormatColourDeep : kFormatColour;
    default: return kFormatMono8;
  }
}

YatPackerFormat YatAcq_PackerFormatOf(const YatWindowWords& w) {
  const auto word = [&w](std::uint32_t index) { return w[YAT_WINDOW_FORMAT_BASE + index]; };
  YatPackerFormat f;
  f.depth = word(YAT_VF_BITS);
  f.taps = word(YAT_VF_TAPS);
  f.tapMultiplier = std::max<std::uint32_t>(word(YAT_VF_MULTIPLIER), 1);
  const std::uint32_t type = word(YAT_VF_VIDEO_TYPE);
  f.colourKind = type == YAT_COLOUR_KIND || type == 2 || type == 5 || type == 7 ? type : kVideoTypeMono;
  f.geometry = word(YAT_VF_SEGMENTS) >= 2 ? YAT_GEOMETRY_SEGMENTED : YAT_GEOMETRY_INTERLEAVED;
  f.laneMode = 1;
  for (std::uint32_t i = 0; i < f.tapFlags.size(); ++i) f.tapFlags[i] = word(YAT_VF_TAP_FLAGS + i);
  f.frameWidth = word(YAT_VF_WIDTH);
  f.channelCount = 1;
  f.modeWord = 0;
  f.optionWord = 0;
  f.packingKind = w[YAT_WH_PACKING];
  return f;
}

QelHwStatus YatAcq_SetUpVideoFormat(YatAcqHandle* handle, const void* videoFormat, std::uint32_t pixelFormat) {
  if (!YatAcq_IsValid(handle) || videoFormat == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::array<std::uint8_t, YAT_VIDEO_FORMAT_SIZE> kept{};
  std::memcpy(kept.data(), FormatBytes(handle), kept.size());
  std::memmove(FormatBytes(handle), videoFormat, YAT_VIDEO_FORMAT_SIZE);
  const QelHwStatus status = ApplyVideoFormat(handle, pixelFormat);
  if (status != QELHW_OK) {
    std::memcpy(FormatBytes(handle), kept.data(), kept.size());
    return status;
  }
  handle->pixelFormat = pixelFormat;
  return QELHW_OK;
}

PARDOW_API QelHwStatus QelHw_Acq_SetVideoFormat(YatAcqHandle* handle, const void* videoFormat) {
  if (handle == nullptr || videoFormat == nullptr) return QELHW_ERROR_ARG_INVALID;
  return YatAcq_SetUpVideoFormat(handle, videoFormat, YatAcq_PixelFormatOf(videoFormat));
}

PARDOW_API QelHwStatus QelHw_Acq_SetAcqWindow(YatAcqHandle* handle, const void* window, std::uint32_t pixelFormat) {
  if (!YatAcq_IsValid(handle) || window == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::array<std::uint8_t, YAT_ACQ_WINDOW_SIZE> kept{};
  std::memcpy(kept.data(), handle->acqWindow, kept.size());
  std::memmove(handle->acqWindow, window, YAT_ACQ_WINDOW_SIZE);
  // The set-up copies the format onto itself; take it from the copy the handle now holds.
  std::array<std::uint8_t, YAT_VIDEO_FORMAT_SIZE> format{};
  std::memcpy(format.data(), FormatBytes(handle), format.size());
  QelHwStatus status = YatAcq_SetUpVideoFormat(handle, format.data(), pixelFormat);
  if (status == QELHW_OK) status = YatAcq_CropToWindow(handle, pixelFormat);
  if (status == QELHW_OK && UsesTimeslots(handle->type))
    status = Yat_FPGA_SetTimeslot(handle->board, handle->camera, handle->acqWindow);
  if (status == QELHW_OK) status = YatAcq_CropToWindow(handle, handle->pixelFormat);
  if (status != QELHW_OK) std::memcpy(handle->acqWindow, kept.data(), kept.size());
  return status;
}

PARDOW_API QelHwStatus QelHw_Acq_SetCropWindow(YatAcqHandle* handle, std::uint32_t x, std::uint32_t y,
                                               std::uint32_t width, std::uint32_t height) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return YatAcq_Crop(handle, x, y, width, height, handle->pixelFormat);
}

PARDOW_API QelHwStatus Yat_Digital_ComputeCropLength(const void* window, std::uint32_t* length,
                                                     std::uint32_t* multiplier) {
  if (window == nullptr) return QELHW_ERROR_ARG_INVALID;
  YatWindowWords w{};
  std::memcpy(w.data(), window, YAT_ACQ_WINDOW_SIZE);
  std::uint32_t computedLength = 0, computedMultiplier = 1;
  const QelHwStatus status = YatAcq_CropLength(w, &computedLength, &computedMultiplier);
  if (status != QELHW_OK) return status;
  if (multiplier != nullptr) *multiplier = computedMultiplier;
  if (length == nullptr) return QELHW_ERROR_ARG_INVALID;
  *length = computedLength;
  return QELHW_OK;
}
