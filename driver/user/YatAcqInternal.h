// What the acquisition modules share and export to nobody: handle tags and
// the validity test, the context refresh, word access to the handle's window
// and video format, the crop rules and the packer's view of a video format.
#pragma once

#include <array>
#include <cstdint>

#include "driver/user/YatAcq.h"
#include "driver/user/YatPacker.h"

inline constexpr std::uint32_t YAT_ACQ_TAG_STANDARD = 0x64000010;
inline constexpr std::uint32_t YAT_ACQ_TAG_LVDS_BOARD = 0x64000013;
inline constexpr std::uint32_t YAT_ACQ_TAG_ACCEPTED_14 = 0x64000014;
inline constexpr std::uint32_t YAT_ACQ_TAG_SCALED = 0x64000015;
inline constexpr std::uint32_t YAT_ACQ_TAG_NO_TIMESLOT = 0x64000016;
inline constexpr std::uint32_t YAT_ACQ_TAG_ACCEPTED_17 = 0x64000017;

// Window words (u32, word n at byte 4n); the video format starts at word 10.
inline constexpr std::uint32_t YAT_WINDOW_WORDS = YAT_ACQ_WINDOW_SIZE / 4;
inline constexpr std::uint32_t YAT_WINDOW_FORMAT_BASE = YAT_ACQ_WINDOW_HEAD_SIZE / 4;

// Video format words.
inline constexpr std::uint32_t YAT_VF_WIDTH = 6;
inline constexpr std::uint32_t YAT_VF_HEIGHT = 11;
inline constexpr std::uint32_t YAT_VF_CROP_X = 17;
inline constexpr std::uint32_t YAT_VF_CROP_Y = 19;
inline constexpr std::uint32_t YAT_VF_BITS = 20;
inline constexpr std::uint32_t YAT_VF_TAPS = 21;
inline constexpr std::uint32_t YAT_VF_SEGMENTS = 22;
inline constexpr std::uint32_t YAT_VF_VIDEO_TYPE = 23;
inline constexpr std::uint32_t YAT_VF_TAP_FLAGS = 27;
inline constexpr std::uint32_t YAT_VF_TAP_FLAG_COUNT = 32;
inline constexpr std::uint32_t YAT_VF_FORMAT_MODE = 59;
inline constexpr std::uint32_t YAT_VF_MULTIPLIER = 60;

// Window head words.
inline constexpr std::uint32_t YAT_WH_CROP_LENGTH_A = 3;
inline constexpr std::uint32_t YAT_WH_CROP_LENGTH_B = 4;
inline constexpr std::uint32_t YAT_WH_PACKING = 8;

using YatWindowWords = std::array<std::uint32_t, YAT_WINDOW_WORDS>;
using YatFormatWords = std::array<std::uint32_t, YAT_VIDEO_FORMAT_WORDS>;

// Handle checks.
bool YatAcq_IsValid(const YatAcqHandle* handle);
// The looser test of the multi-handle forms: the tag's range only.
bool YatAcq_TagInListRange(const YatAcqHandle* handle);

// Stores this process's callbacks and the handle as owner: the context lives
// in shared memory and the last process to use it may have been another one.
YatGrabCtrlContext* YatAcq_Refresh(YatAcqHandle* handle);

// Words of caller records and of the handle.
std::uint32_t YatAcq_Word(const void* record, std::uint32_t index);
void YatAcq_SetWord(void* record, std::uint32_t index, std::uint32_t value);
YatWindowWords YatAcq_WindowWords(const YatAcqHandle* handle);
std::uint32_t YatAcq_FormatWord(const YatAcqHandle* handle, std::uint32_t index);

// The crop-length rule on a window: -3 when the taps point past the flag words.
QelHwStatus YatAcq_CropLength(const YatWindowWords& w, std::uint32_t* length, std::uint32_t* multiplier);
// The crop rule: the front-end window in bus units of the handle's format.
QelHwStatus YatAcq_Crop(YatAcqHandle* handle, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                        std::uint32_t length, std::uint32_t pixelFormat);
// Crop-length rule, then the crop rule with the window's own start and width.
QelHwStatus YatAcq_CropToWindow(YatAcqHandle* handle, std::uint32_t pixelFormat);

// The pixel format QelHw_Acq_SetVideoFormat chooses for a video format.
std::uint32_t YatAcq_PixelFormatOf(const void* videoFormat);
// The video-format set-up: packer, crop, acquisition mode; the handle's
// previous format comes back on failure.
QelHwStatus YatAcq_SetUpVideoFormat(YatAcqHandle* handle, const void* videoFormat, std::uint32_t pixelFormat);

// The packer's view of a window's video format. Choices where the format
// record has no word for it:
// - geometry: segmented when the format has two or more segments (word 22),
//   else interleaved;
// - lane mode 1: each camera keeps its own packer masks, so setting one
//   camera's format never disturbs the other's;
// - one channel, mode word 0 (no doubled DMA channels), option word 0 (no
//   second-tap polarity);
// - colour kind: 6 for colour video (type 6), types 2, 5 and 7 as they are,
//   5 (plain monochrome) for any other type;
// - packing kind: window head word 8, whose values 4 and 5 mark wide pixels
//   as in the crop rule.
YatPackerFormat YatAcq_PackerFormatOf(const YatWindowWords& w);

// The standard video formats.
const YatFormatWords& YatAcq_StdVideoFormat(std::uint32_t index);
