// Internal buffers: blocks of the board's own memory, described by a record
// that the caller owns and the library fills.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/QelHwStatus.h"

#ifndef PARDOW_API
#define PARDOW_API extern "C" __attribute__((visibility("default")))
#endif

inline constexpr std::uint32_t YAT_INTERNAL_BUFFER_TAG = 0x64000002;
inline constexpr std::uint32_t YAT_ROI_ENTRY_SIZE = 28;

#pragma pack(push, 4)
struct YatInternalBuffer {
  std::uint32_t tag;
  std::uint32_t board;
  std::uint32_t region;
  std::uint32_t bank;
  std::uint32_t onboardAddress;
  std::uint32_t sequence;
  std::uint32_t size;  // bytes
  std::uint32_t callerWord;
  std::uint32_t zero;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t pixelFormat;
  std::uint32_t roiLeft;
  std::uint32_t roiTop;
  std::uint32_t roiWidth;
  std::uint32_t roiHeight;
  std::uint64_t onboardAddress64;
  std::uint32_t sequenceAgain;
  std::uint32_t roiCount1;
  std::uint64_t roiList1;  // reference into the library's shared ROI list pool
  std::uint32_t roiCount2;
  std::uint64_t roiList2;
};
#pragma pack(pop)
static_assert(offsetof(YatInternalBuffer, size) == 24);
static_assert(offsetof(YatInternalBuffer, width) == 36);
static_assert(offsetof(YatInternalBuffer, roiHeight) == 60);
static_assert(offsetof(YatInternalBuffer, onboardAddress64) == 64);
static_assert(offsetof(YatInternalBuffer, roiCount1) == 76);
static_assert(offsetof(YatInternalBuffer, roiList1) == 80);
static_assert(offsetof(YatInternalBuffer, roiCount2) == 88);
static_assert(offsetof(YatInternalBuffer, roiList2) == 92);
static_assert(sizeof(YatInternalBuffer) == 100);

PARDOW_API QelHwStatus Yat_InternalBuffer_Create(std::uint32_t board, std::uint32_t region, std::uint32_t bank,
                                                 std::uint32_t size, YatInternalBuffer* record);
PARDOW_API QelHwStatus Yat_InternalBuffer_Free(YatInternalBuffer* record);
PARDOW_API QelHwStatus Yat_InternalBuffer_SetBufferInfo(YatInternalBuffer* record, std::uint32_t width,
                                                        std::uint32_t height, std::uint32_t pixelFormat);
PARDOW_API QelHwStatus Yat_InternalBuffer_AddRoi(YatInternalBuffer* record, const void* entries, std::uint32_t count,
                                                 std::uint32_t list);
