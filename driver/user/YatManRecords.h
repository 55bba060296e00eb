// Input records of the requests the board library sends beyond those the
// driver's interface header declares: every input starts with YatIocHeader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"

#pragma pack(push, 1)
struct YatIocRouteIn {
  YatIocHeader header;
  std::uint32_t index;
  std::uint32_t resourceType;
  std::uint32_t eventBits;
};
// On-board memory read and write.
struct YatIocMemoryIn {
  YatIocHeader header;
  std::uint32_t localAddress;
  std::uint64_t userAddress;
  std::uint32_t byteCount;
  std::uint32_t engine;
};
struct YatIocFillIn {
  YatIocHeader header;
  std::uint32_t localAddress;
  std::uint32_t byteCount;
  std::uint64_t patternAddress;
  std::int32_t patternLength;
  std::uint32_t engine;
};
// Cache-block read and write.
struct YatIocCacheIn {
  YatIocHeader header;
  std::uint32_t offset;
  std::uint64_t userAddress;
  std::uint32_t wordCount;
};
#pragma pack(pop)

static_assert(sizeof(YatIocRouteIn) == 20 && offsetof(YatIocRouteIn, eventBits) == 16);
static_assert(sizeof(YatIocMemoryIn) == 28);
static_assert(offsetof(YatIocMemoryIn, userAddress) == 12 && offsetof(YatIocMemoryIn, byteCount) == 20 &&
              offsetof(YatIocMemoryIn, engine) == 24);
static_assert(sizeof(YatIocFillIn) == 32);
static_assert(offsetof(YatIocFillIn, byteCount) == 12 && offsetof(YatIocFillIn, patternAddress) == 16 &&
              offsetof(YatIocFillIn, patternLength) == 24 && offsetof(YatIocFillIn, engine) == 28);
static_assert(sizeof(YatIocCacheIn) == 24);
static_assert(offsetof(YatIocCacheIn, userAddress) == 12 && offsetof(YatIocCacheIn, wordCount) == 20);
