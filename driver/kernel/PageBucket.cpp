#include "driver/kernel/PageBucket.h"

#include <cstring>

#include "driver/kernel/OnboardMemory.h"
#include "driver/kernel/OutsideDrivers.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint64_t kBelow4GB = 0xFFFFFFFF;

bool IsHostBucket(const YatBucketHeader* bucket) {
  return bucket->base == kBucketSystemMemory || bucket->base == kBucketMemoryDriver;
}

std::uint32_t BucketSize(const YatBucketHeader* bucket) {
  return IsHostBucket(bucket) ? kHostBucketSize : kOnboardBucketSize;
}

YatBucketHeader* AsBucket(std::uint64_t address) { return reinterpret_cast<YatBucketHeader*>(address); }

YatBucketHeader* FirstBucket(YatBucketHeader* bucket) {
  while (bucket != nullptr && bucket->previous != 0) bucket = AsBucket(bucket->previous);
  return bucket;
}

// Descriptor pages come from the memory driver's pool first, then the system's.
YatBucketHeader* AllocateHostBucket() {
  void* memory = nullptr;
  std::uint64_t physical = 0;
  std::uint64_t marker = kBucketMemoryDriver;
  if (!QelMemAllocate(kQelMemAllocateDescriptorPages, kHostBucketSize, &physical, &memory)) {
    memory = allocate_contiguous_memory(kHostBucketSize, kBelow4GB);
    marker = kBucketSystemMemory;
    if (memory == nullptr) {
      if (!QelMemAllocate(kQelMemAllocate, kHostBucketSize, &physical, &memory)) return nullptr;
      marker = kBucketMemoryDriver;
    }
  }
  std::memset(memory, 0, kHostBucketSize);
  auto* bucket = static_cast<YatBucketHeader*>(memory);
  bucket->base = marker;
  return bucket;
}

YatBucketHeader* AllocateOnboardBucket(YatBoardExtension* board, std::uint32_t code) {
  void* page = allocate_pool(PoolType::kPaged, kOnboardBucketSize, kTagBucket);
  if (page == nullptr) {
    STAVRO_LOG(kLogError, "%s: GDrv_GetNextBucketObjectEx, Could not allocate Paged Pool for Bucket");
    return nullptr;
  }
  std::memset(page, 0, kOnboardBucketSize);
  std::uint32_t onboard = 0;
  if (Yat_AllocFPGAMem(board, code >> 3, code & 7, kOnboardBucketSize, &onboard) != QELHW_OK) {
    free_pool_with_tag(page, kTagBucket);
    STAVRO_LOG(kLogError, "%s: GDrv_GetNextBucketObjectEx, Could not allocate device memory.");
    return nullptr;
  }
  auto* bucket = static_cast<YatBucketHeader*>(page);
  bucket->base = onboard;
  return bucket;
}

YatBucketHeader* AllocateBucket(YatBoardExtension* board, std::uint32_t kind, std::uint32_t slotSize,
                                std::uint32_t code) {
  YatBucketHeader* bucket = kind == kBucketKindHost ? AllocateHostBucket() : AllocateOnboardBucket(board, code);
  if (bucket == nullptr) {
    if (kind == kBucketKindHost) {
      STAVRO_LOG(kLogError,
                 "%s: GDrv_GetNextBucketObjectEx, Could not allocate contiguous memory for Bucket using Velisk's "
                 "Buffer Object Memory Pool and/or Windows' function.");
    }
    return nullptr;
  }
  bucket->slotCapacity = static_cast<std::uint16_t>((BucketSize(bucket) - BucketHeaderRoom(slotSize)) / slotSize);
  return bucket;
}

void FreeBucket(YatBoardExtension* board, YatBucketHeader* bucket) {
  if (bucket->base == kBucketMemoryDriver) {
    QelMemFree(bucket);
  } else if (bucket->base == kBucketSystemMemory) {
    YatManagerExtension* manager = board ? ManagerOf(board->managerDevice) : nullptr;
    if (manager != nullptr && (manager->traceFlags & kTraceMemory)) {
      STAVRO_LOG(kLogTrace, "%s: >FreePageForPCI< Address = 0x%08x",
                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(bucket)));
    }
    free_contiguous_memory(bucket);
  } else {
    YatFreeOnboardBlock(board, static_cast<std::uint32_t>(bucket->base), 0);
    free_pool_with_tag(bucket, kTagBucket);
  }
}

std::uint64_t HostPhysicalOf(const YatBucketHeader* bucket, const void* address) {
  return bucket->base == kBucketMemoryDriver ? QelMemPhysicalAddress(address) : get_physical_address(address);
}

}  // namespace

void* GDrv_GetNextBucketObjectEx(YatBoardExtension* board, YatBucketHeader** list, std::uint32_t kind,
                                 std::uint32_t slotSize, std::uint32_t bankRegionCode) {
  if (list == nullptr || slotSize == 0 || BucketHeaderRoom(slotSize) >= kOnboardBucketSize) {
    STAVRO_LOG(kLogError, "%s: GDrv_GetNextBucketObjectEx, Invalid Argument ppPageList and/or descSize.");
    return nullptr;
  }
  YatBucketHeader* bucket = *list;
  if (bucket == nullptr) {
    bucket = AllocateBucket(board, kind, slotSize, bankRegionCode);
    if (bucket == nullptr) return nullptr;
  }
  while (bucket->next != 0) bucket = AsBucket(bucket->next);
  if (bucket->usedSlots >= bucket->slotCapacity) {
    std::uint32_t sameKind = IsHostBucket(bucket) ? kBucketKindHost : 0;
    YatBucketHeader* added = AllocateBucket(board, sameKind, slotSize, bankRegionCode);
    if (added == nullptr) return nullptr;
    added->previous = reinterpret_cast<std::uint64_t>(bucket);
    bucket->next = reinterpret_cast<std::uint64_t>(added);
    bucket = added;
  }
  *list = bucket;
  auto* slot = reinterpret_cast<std::uint8_t*>(bucket) + BucketHeaderRoom(slotSize) +
               static_cast<std::size_t>(bucket->usedSlots) * slotSize;
  ++bucket->usedSlots;
  return slot;
}

std::uint64_t GetBucketPhysicalAddress(YatBoardExtension*, YatBucketHeader** list, const void* address) {
  if (list == nullptr || *list == nullptr || address == nullptr) return 0;
  if (IsHostBucket(*list)) return HostPhysicalOf(*list, address);
  auto at = reinterpret_cast<std::uintptr_t>(address);
  // A slot just taken lies in the chain's current bucket: found without a walk.
  const auto current = reinterpret_cast<std::uintptr_t>(*list);
  if (at >= current && at < current + kOnboardBucketSize) return (*list)->base + (at - current);
  for (YatBucketHeader* bucket = FirstBucket(*list); bucket != nullptr; bucket = AsBucket(bucket->next)) {
    auto start = reinterpret_cast<std::uintptr_t>(bucket);
    if (at >= start && at < start + kOnboardBucketSize) return bucket->base + (at - start);
  }
  return 0;
}

void* GetBucketAddressFromPhysical(YatBoardExtension*, YatBucketHeader** list, std::uint64_t physical) {
  if (list == nullptr || *list == nullptr) return nullptr;
  for (YatBucketHeader* bucket = FirstBucket(*list); bucket != nullptr; bucket = AsBucket(bucket->next)) {
    std::uint64_t start = IsHostBucket(bucket) ? HostPhysicalOf(bucket, bucket) : bucket->base;
    if (physical >= start && physical < start + BucketSize(bucket)) {
      *list = bucket;
      return reinterpret_cast<std::uint8_t*>(bucket) + (physical - start);
    }
  }
  return nullptr;
}

void FreePageForPCI(YatBoardExtension* board, YatBucketHeader** list) {
  if (list == nullptr) return;
  YatBucketHeader* bucket = FirstBucket(*list);
  while (bucket != nullptr) {
    YatBucketHeader* next = AsBucket(bucket->next);
    FreeBucket(board, bucket);
    bucket = next;
  }
  *list = nullptr;
}
