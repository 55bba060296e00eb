// Records of section 6 (flash memory), after the request header; answers are
// the status word, and for the query and the identifier a u32 value
// (YatIocValueOut).
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"

// YAT_IOCTRL_FLASH_WRITE and YAT_IOCTRL_FLASH_READ: bytes from or to the
// caller's memory at `buffer`.
struct YatFlashTransferIn {
  YatIocHeader header;
  std::uint32_t offset;
  std::uint32_t count;
  std::uint64_t buffer;
};
static_assert(sizeof(YatFlashTransferIn) == 24);
static_assert(offsetof(YatFlashTransferIn, offset) == 8);
static_assert(offsetof(YatFlashTransferIn, count) == 12);
static_assert(offsetof(YatFlashTransferIn, buffer) == 16);

// The same from a 32-bit caller.
struct YatFlashTransferIn32 {
  YatIocHeader header;
  std::uint32_t offset;
  std::uint32_t count;
  std::uint32_t buffer;
};
static_assert(sizeof(YatFlashTransferIn32) == 20);
static_assert(offsetof(YatFlashTransferIn32, buffer) == 16);

// Protect, unprotect, the protection query and erase: a range of 64 KiB blocks.
struct YatFlashBlocksIn {
  YatIocHeader header;
  std::uint32_t firstBlock;
  std::uint32_t lastBlock;
};
static_assert(sizeof(YatFlashBlocksIn) == 16);
static_assert(offsetof(YatFlashBlocksIn, firstBlock) == 8);
static_assert(offsetof(YatFlashBlocksIn, lastBlock) == 12);

// YAT_IOCTRL_FLASH_READ_ID: identifier index (below 16) or query index.
struct YatFlashIdIn {
  YatIocHeader header;
  std::uint32_t index;
};
static_assert(sizeof(YatFlashIdIn) == 12);
static_assert(offsetof(YatFlashIdIn, index) == 8);

inline constexpr std::uint32_t YAT_FLASH_BLOCKS = 64;
inline constexpr std::uint32_t YAT_FLASH_BLOCK_BYTES = 0x10000;
