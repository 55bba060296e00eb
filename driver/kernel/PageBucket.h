// Page buckets: chains of pages cut into equal slots that hold descriptor
// tables. Host buckets are 64 KB of contiguous memory below 4 GB; on-board
// buckets are a host page mirroring 4096 bytes of the board's memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatExtensions.h"

#pragma pack(push, 1)
struct YatBucketHeader {
  std::uint16_t usedSlots;
  std::uint16_t slotCapacity;
  std::uint64_t base;  // kBucketSystemMemory, kBucketMemoryDriver, or the on-board address
  std::uint64_t next;
  std::uint64_t previous;
};
#pragma pack(pop)
static_assert(sizeof(YatBucketHeader) == 28);
static_assert(offsetof(YatBucketHeader, slotCapacity) == 2);
static_assert(offsetof(YatBucketHeader, base) == 4);
static_assert(offsetof(YatBucketHeader, next) == 12);
static_assert(offsetof(YatBucketHeader, previous) == 20);

inline constexpr std::uint64_t kBucketSystemMemory = ~std::uint64_t{0};       // -1
inline constexpr std::uint64_t kBucketMemoryDriver = ~std::uint64_t{0} - 1;   // -2
inline constexpr std::uint32_t kHostBucketSize = 0x10000;
inline constexpr std::uint32_t kOnboardBucketSize = 4096;
inline constexpr std::uint32_t kBucketKindHost = 1;

// Slots begin after the header, on a slot boundary.
constexpr std::uint32_t BucketHeaderRoom(std::uint32_t slotSize) {
  return slotSize >= sizeof(YatBucketHeader) ? slotSize
                                             : (static_cast<std::uint32_t>(sizeof(YatBucketHeader)) / slotSize + 1) * slotSize;
}

// A new slot at the end of the chain (*list moves to the chain's last bucket); null on failure.
void* GDrv_GetNextBucketObjectEx(YatBoardExtension* board, YatBucketHeader** list, std::uint32_t kind,
                                 std::uint32_t slotSize, std::uint32_t bankRegionCode);
std::uint64_t GetBucketPhysicalAddress(YatBoardExtension* board, YatBucketHeader** list, const void* address);
// The slot address of a physical (or on-board) address, 0 when no bucket holds it.
void* GetBucketAddressFromPhysical(YatBoardExtension* board, YatBucketHeader** list, std::uint64_t physical);
void FreePageForPCI(YatBoardExtension* board, YatBucketHeader** list);
