// Records the board extension embeds for register access and on-board memory:
// the register resource manager (a block table over BAR 0 with access words
// and shadow values) and the on-board memory manager (banks of regions).
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/kernel/MemManager.h"
#include "platform/kernel/sync.h"

inline constexpr std::uint32_t kYatBlockCount = 96;
inline constexpr std::uint32_t kYatBlockBytes = 1024;
inline constexpr std::uint32_t kYatRegistersPerBlock = 256;
inline constexpr std::uint32_t kYatRegisterSpace = kYatBlockCount * kYatBlockBytes;  // 0x18000
inline constexpr std::uint32_t kYatDmaBlock = 64;  // 0x10000-0x103FF, DMA and interrupt control

inline constexpr std::uint32_t kYatBlockNone = 0;
inline constexpr std::uint32_t kYatBlockCache = 1;
inline constexpr std::uint32_t kYatBlockRegisters = 2;

inline constexpr std::uint32_t kYatCacheRead = 0x1;
inline constexpr std::uint32_t kYatCacheWrite = 0x2;

// Access word of a register.
inline constexpr std::uint32_t kYatAccessHardwareWidth = 0x3F;  // bits 0-5
inline constexpr std::uint32_t kYatAccessShadowShift = 6;       // bits 6-11
inline constexpr std::uint32_t kYatAccessWriteBoard = 0x1000;
inline constexpr std::uint32_t kYatAccessWriteThroughShadow = 0x2000;
inline constexpr std::uint32_t kYatAccessSetBits = 0x4000;
inline constexpr std::uint32_t kYatAccessSetBitsBlockers = 0x18000;  // bits 15 and 16
inline constexpr std::uint32_t kYatAccessWriteShadow = 0x20000;
inline constexpr std::uint32_t kYatAccessLoadShadow = 0x40000;
inline constexpr std::uint32_t kYatAccessDefault = 0x6020;

struct YatRegisterEntry {
  std::uint32_t access;
  std::uint32_t shadow;
};
static_assert(sizeof(YatRegisterEntry) * kYatRegistersPerBlock == 2048);

struct YatBlockEntry {
  std::uint32_t type;
  std::uint32_t cacheFlags;   // cache block
  YatRegisterEntry* table;    // register block
};

struct YatResourceManager {
  std::atomic<std::uint8_t> built;
  std::atomic<std::uint8_t> accessEnabled;
  std::atomic<std::uint32_t> accessesInProgress;
  YatBlockEntry blocks[kYatBlockCount];
  // Block 64's table is allocated once and survives every close.
  YatRegisterEntry* dmaBlockTable;
};

inline constexpr std::uint32_t kYatMemoryBanks = 8;
inline constexpr std::uint32_t kYatRegionsPerBank = 8;
inline constexpr std::uint32_t kYatMaxBankMegabytes = 3072;

struct YatFpgaMemory {
  std::uint32_t regionSize[kYatMemoryBanks];  // bytes
  std::uint8_t regionCount[kYatMemoryBanks];
  YatMemManager* regions[kYatMemoryBanks][kYatRegionsPerBank];
  std::int32_t ownerSlot;  // the process slot that built it, -1 after close
  std::uint64_t bytesAllocated;
};
