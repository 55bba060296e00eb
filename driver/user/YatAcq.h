// Exported acquisition entry points of the board library: the acquisition
// handle of one camera input (kept in the library's shared section, so every
// process sees the same handle for the same camera), its starts and stops,
// triggers, timers, video formats, windows and look-up tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"

// Caller records (u32 words unless said otherwise).
inline constexpr std::uint32_t YAT_VIDEO_FORMAT_SIZE = 248;
inline constexpr std::uint32_t YAT_VIDEO_FORMAT_WORDS = YAT_VIDEO_FORMAT_SIZE / 4;
inline constexpr std::uint32_t YAT_ACQ_WINDOW_SIZE = 288;
inline constexpr std::uint32_t YAT_ACQ_WINDOW_HEAD_SIZE = 40;
inline constexpr std::uint32_t YAT_ACQ_WINDOW_CAPS_SIZE = 92;
inline constexpr std::uint32_t YAT_STRUCT_FRAME_TRIGGER_SIZE = 144;
inline constexpr std::uint32_t YAT_STROBE_RECORD_SIZE = 52;
inline constexpr std::uint32_t YAT_LINE_TRIGGER_RECORD_SIZE = 140;
inline constexpr std::uint32_t YAT_STD_VIDEO_FORMATS = 9;

static_assert(YAT_ACQ_WINDOW_HEAD_SIZE + YAT_VIDEO_FORMAT_SIZE == YAT_ACQ_WINDOW_SIZE);
static_assert(sizeof(YatAcqHandle::acqWindow) == YAT_ACQ_WINDOW_SIZE);

// The camera-control record of QelHw_Acq_SetCameraControlEx: a count and a
// pointer to that many entries; each entry gives the source kind of one
// camera-control line (entry number 0 to 3).
struct YatCameraControlEntry {
  std::uint32_t size;  // 20
  std::uint32_t reserved;
  std::uint32_t kind;
  std::uint32_t number;
  std::uint32_t source;
};
static_assert(sizeof(YatCameraControlEntry) == 20 && offsetof(YatCameraControlEntry, source) == 16);

struct YatCameraControlList {
  std::uint32_t count;
  std::uint32_t fill;
  const YatCameraControlEntry* entries;
};
static_assert(sizeof(YatCameraControlList) == 16 && offsetof(YatCameraControlList, entries) == 8);

// Handles.
PARDOW_API QelHwStatus QelHw_Acq_GetHandle(std::uint32_t board, std::uint32_t camera, YatAcqHandle** out);
PARDOW_API QelHwStatus QelHw_Acq_ReleaseHandle(YatAcqHandle* handle);

// Starts and stops; the Ex forms take the cameras of one board at one instant.
PARDOW_API QelHwStatus QelHw_Acq_AcquireVideo(YatAcqHandle* handle);
PARDOW_API QelHwStatus QelHw_Acq_AcquireVideoEx(YatAcqHandle** handles, std::uint32_t count);
PARDOW_API QelHwStatus QelHw_Acq_AcquireNFrames(YatAcqHandle* handle, std::uint32_t frames);
PARDOW_API QelHwStatus QelHw_Acq_AcquireNFramesEx(YatAcqHandle** handles, std::uint32_t count, std::uint32_t frames);
PARDOW_API QelHwStatus QelHw_Acq_FreezeVideo(YatAcqHandle* handle);
PARDOW_API QelHwStatus QelHw_Acq_FreezeVideoEx(YatAcqHandle** handles, std::uint32_t count);
PARDOW_API QelHwStatus QelHw_Acq_AbortVideo(YatAcqHandle* handle);
PARDOW_API QelHwStatus QelHw_Acq_AbortVideoEx(YatAcqHandle** handles, std::uint32_t count);

// Triggers, timers, strobe and camera-control lines.
PARDOW_API QelHwStatus QelHw_Acq_FrameTriggerEnable(YatAcqHandle* handle, const void* frameTrigger);
PARDOW_API QelHwStatus QelHw_Acq_SoftwareTrigger(YatAcqHandle* handle, std::uint32_t unused);
PARDOW_API QelHwStatus QelHw_Acq_SetCameraControlTimer(YatAcqHandle* handle, std::uint32_t timer, const void* record,
                                                       std::uint32_t timeBase);
PARDOW_API QelHwStatus QelHw_Acq_SetStrobeTimer(YatAcqHandle* handle, const void* strobe);
PARDOW_API QelHwStatus QelHw_Acq_SetDoublePulseControlTimers(YatAcqHandle* handle, const void* doublePulse);
PARDOW_API QelHwStatus QelHw_Acq_SetCameraControlEx(YatAcqHandle* handle, const YatCameraControlList* record);
PARDOW_API QelHwStatus QelHw_Acq_LineTriggerEnable(YatAcqHandle* handle, const void* lineTrigger);
PARDOW_API QelHwStatus QelHw_Acq_SetDataValid(YatAcqHandle* handle, std::uint32_t mode);
PARDOW_API QelHwStatus QelHw_Acq_Select(YatAcqHandle* handle, std::uint32_t select);

// Video formats and windows.
PARDOW_API QelHwStatus QelHw_Acq_SetAcqWindow(YatAcqHandle* handle, const void* window, std::uint32_t pixelFormat);
PARDOW_API QelHwStatus QelHw_Acq_SetVideoFormat(YatAcqHandle* handle, const void* videoFormat);
PARDOW_API QelHwStatus QelHw_Acq_GetStdVideoFormat(YatAcqHandle* handle, std::uint32_t index, void* out);
PARDOW_API QelHwStatus QelHw_Acq_GetAcqWindowCaps(YatAcqHandle* handle, void* out);
PARDOW_API QelHwStatus QelHw_Acq_SetCropWindow(YatAcqHandle* handle, std::uint32_t x, std::uint32_t y,
                                               std::uint32_t width, std::uint32_t height);
PARDOW_API QelHwStatus QelHw_Acq_GetGrabStatus(YatAcqHandle* handle, std::uint32_t* status);
PARDOW_API QelHwStatus QelHw_Acq_GetHorizontalHactiveMultiple(YatAcqHandle* handle, std::uint32_t* out);
PARDOW_API QelHwStatus QelHw_Acq_GetInternalBusWidth(YatAcqHandle* handle, std::uint32_t* out);
PARDOW_API QelHwStatus QelHw_Acq_WriteLut(YatAcqHandle* handle, std::uint32_t p1, std::uint32_t p2, std::uint32_t p3,
                                          std::uint32_t p4, const void* data);
PARDOW_API QelHwStatus QelHw_Man_Connect(std::uint32_t a, std::uint32_t b);
PARDOW_API QelHwStatus QelHw_Man_Disconnect(std::uint32_t a, std::uint32_t b);

// The digital front end.
PARDOW_API std::uint32_t Yat_Digital_IsPresent(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Digital_ComputeCropLength(const void* window, std::uint32_t* length,
                                                     std::uint32_t* multiplier);
PARDOW_API std::uint8_t Yat_Digital_IsLutAvailable(YatAcqHandle* handle, std::uint32_t bits);
PARDOW_API QelHwStatus Yat_Digital_EnableLut(YatAcqHandle* handle, std::uint32_t a, std::uint32_t bank,
                                             std::uint32_t index, std::uint32_t depth, std::uint8_t enable);
PARDOW_API QelHwStatus Yat_Digital_WriteLut(YatAcqHandle* handle, std::uint32_t a, std::uint32_t plane,
                                            std::uint32_t b, std::uint32_t bits, const void* data);
PARDOW_API QelHwStatus Yat_Digital_SetLutFormat(YatAcqHandle* handle, std::uint32_t format);
PARDOW_API QelHwStatus Yat_Digital_GetLutSource(YatAcqHandle* handle, std::int32_t a, std::int32_t b, std::int32_t c,
                                                void* out);
PARDOW_API QelHwStatus Yat_Digital_DetectVideoFormat(YatAcqHandle* handle, void* out);
PARDOW_API QelHwStatus Yat_Digital_GetAcqWindowCaps(std::uint32_t board, void* out);
PARDOW_API QelHwStatus Yat_Digital_GetInternalBusWidth(std::uint32_t board, std::uint32_t* out);
PARDOW_API QelHwStatus Yat_Digital_GetSerialPortCount(const void* eepromImage, std::uint32_t* count,
                                                      std::uint32_t* second, std::uint32_t modelNumber);
