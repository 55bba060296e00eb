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
#pragma pack(pop)

static_assert(sizeof(YatIocRouteIn) == 20 && offsetof(YatIocRouteIn, eventBits) == 16);
