#include "driver/kernel/MemManager.h"

#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagMemManager = StavroPoolTag('M');

YatMemRange* NewRange(std::uint64_t start, std::uint64_t size) {
  auto* range = static_cast<YatMemRange*>(allocate_pool(PoolType::kNonPaged, sizeof(YatMemRange), kTagMemManager));
  if (range == nullptr) return nullptr;
  *range = YatMemRange{};
  range->start = start;
  range->size = size;
  return range;
}

void Unlink(YatMemRange** head, YatMemRange* range) {
  if (range->previous != nullptr) range->previous->next = range->next;
  else *head = range->next;
  if (range->next != nullptr) range->next->previous = range->previous;
  range->previous = range->next = nullptr;
}

void PushFront(YatMemRange** head, YatMemRange* range) {
  range->previous = nullptr;
  range->next = *head;
  if (*head != nullptr) (*head)->previous = range;
  *head = range;
}

void InsertAfter(YatMemRange* at, YatMemRange* range) {
  range->previous = at;
  range->next = at->next;
  if (at->next != nullptr) at->next->previous = range;
  at->next = range;
}

// Merges `range` (in the free list) with the free range that ends at its start
// and the one that starts at its end, as long as there are such; answers the
// range that holds it afterwards.
YatMemRange* MergeWithNeighbours(YatMemManager* manager, YatMemRange* range) {
  for (;;) {
    YatMemRange* before = range->previous;
    YatMemRange* after = range->next;
    if (before != nullptr && before->start + before->size == range->start) {
      before->size += range->size;
      Unlink(&manager->freeList, range);
      free_pool_with_tag(range, kTagMemManager);
      range = before;
    } else if (after != nullptr && range->start + range->size == after->start) {
      range->size += after->size;
      Unlink(&manager->freeList, after);
      free_pool_with_tag(after, kTagMemManager);
    } else {
      return range;
    }
  }
}

void MergeTouchingFreeRanges(YatMemManager* manager) {
  for (YatMemRange* range = manager->freeList; range != nullptr; range = range->next)
    range = MergeWithNeighbours(manager, range);
}

void ReturnToFreeList(YatMemManager* manager, YatMemRange* range) {
  MemManagerUnlinkUsed(manager, range);
  MemManagerInsertFree(manager, range);
  MergeWithNeighbours(manager, range);
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

bool Qualifies(const YatMemRange* range, std::uint64_t size, std::uint64_t alignment) {
  if (range->size < size) return false;
  const std::uint64_t misalignment = range->start & (alignment - 1);
  return misalignment == 0 || range->size - size >= alignment - misalignment;
}

YatMemRange* BestFit(const YatMemManager* manager, std::uint64_t size, std::uint64_t alignment) {
  YatMemRange* best = nullptr;
  for (YatMemRange* range = manager->freeList; range != nullptr; range = range->next) {
    if (!Qualifies(range, size, alignment)) continue;
    if (best == nullptr || range->size < best->size) best = range;
    if (range->size == size) break;
  }
  return best;
}

// Cuts [usedStart, usedStart + size) out of `range`; answers false when the
// piece behind it cannot be recorded.
bool Carve(YatMemManager* manager, YatMemRange* range, std::uint64_t usedStart, std::uint64_t size) {
  const std::uint64_t end = range->start + range->size;
  if (usedStart == range->start) {
    range->start += size;
    range->size -= size;
    if (range->size == 0) {
      Unlink(&manager->freeList, range);
      free_pool_with_tag(range, kTagMemManager);
    }
    return true;
  }
  const std::uint64_t behind = end - (usedStart + size);
  if (behind != 0) {
    YatMemRange* rest = NewRange(usedStart + size, behind);
    if (rest == nullptr) return false;
    InsertAfter(range, rest);
    MergeWithNeighbours(manager, rest);
  }
  range->size = usedStart - range->start;
  return true;
}

}  // namespace

bool MemOwnerEquals(const YatMemOwner& a, const YatMemOwner& b) {
  return a.pid == b.pid && a.start_time == b.start_time;
}

YatMemManager* MemManagerNewManager(std::uint64_t start, std::uint64_t size) {
  auto* manager = static_cast<YatMemManager*>(allocate_pool(PoolType::kNonPaged, sizeof(YatMemManager), kTagMemManager));
  YatMemRange* range = manager ? NewRange(start, size) : nullptr;
  if (range == nullptr) {
    if (manager != nullptr) free_pool_with_tag(manager, kTagMemManager);
    KernelLogPrint(kLogError, __FILE__, __LINE__, "QELMEM.SYS: MemManagerNewManager = NULL");
    return nullptr;
  }
  *manager = YatMemManager{};
  manager->freeList = range;
  manager->granularity = kYatMemCreationGranularity;
  return manager;
}

void MemManagerDeleteManager(YatMemManager* manager) {
  if (manager == nullptr) return;
  for (YatMemRange** head : {&manager->freeList, &manager->usedList}) {
    while (*head != nullptr) {
      YatMemRange* range = *head;
      *head = range->next;
      free_pool_with_tag(range, kTagMemManager);
    }
  }
  free_pool_with_tag(manager, kTagMemManager);
}

bool MemManagerAllocate(YatMemManager* manager, std::uint64_t size, const YatMemOwner& owner,
                        std::uint32_t alignment, std::uint64_t* start) {
  if (manager == nullptr || start == nullptr || size == 0 || alignment == 0 || (alignment & (alignment - 1)) != 0)
    return false;
  if (manager->usedList == nullptr) manager->bytesInUse = 0;
  if (manager->bytesInUse == 0 || manager->usedList == nullptr) {
    FreeUnusedMemory(manager);
    MergeTouchingFreeRanges(manager);
  }
  if (size > UINT64_MAX - 3) return false;
  size = (size + 3) & ~std::uint64_t{3};
  YatMemRange* range = BestFit(manager, size, alignment);
  if (range == nullptr) {
    FreeUnusedMemory(manager);
    MergeTouchingFreeRanges(manager);
    range = BestFit(manager, size, alignment);
    if (range == nullptr) return false;
  }
  const std::uint64_t usedStart = AlignUp(range->start, alignment);
  YatMemRange* used = NewRange(usedStart, size);
  if (used == nullptr) return false;
  if (!Carve(manager, range, usedStart, size)) {
    free_pool_with_tag(used, kTagMemManager);
    return false;
  }
  used->owner = owner;
  PushFront(&manager->usedList, used);
  manager->bytesInUse += size;
  *start = usedStart;
  return true;
}

void MemManagerFreeByOwner(YatMemManager* manager, const YatMemOwner& owner) {
  if (manager == nullptr) return;
  YatMemRange* range = manager->usedList;
  while (range != nullptr) {
    YatMemRange* next = range->next;
    if (MemOwnerEquals(range->owner, owner)) ReturnToFreeList(manager, range);
    range = next;
  }
}

void MemManagerFreeByProcessId(YatMemManager* manager, std::int32_t processId) {
  if (manager == nullptr || processId == 0) return;
  YatMemRange* range = manager->usedList;
  while (range != nullptr) {
    YatMemRange* next = range->next;
    if (range->owner.pid == processId) ReturnToFreeList(manager, range);
    range = next;
  }
}

void FreeUnusedMemory(YatMemManager* manager) {
  if (manager == nullptr) return;
  YatMemRange* range = manager->usedList;
  while (range != nullptr) {
    YatMemRange* next = range->next;
    if (!plat::is_process_alive(range->owner)) {
      KernelLogPrint(kLogNotice, __FILE__, __LINE__,
                     "QELMEM.SYS: FREEUNUSEDMEMORY=> ProcessId: %lu Address: 0x%lx Size: 0x%lx",
                     static_cast<unsigned long>(range->owner.pid), static_cast<unsigned long>(range->start),
                     static_cast<unsigned long>(range->size));
      ReturnToFreeList(manager, range);
    }
    range = next;
  }
}

YatMemRange* MemManagerFindUsed(const YatMemManager* manager, std::uint64_t start) {
  if (manager == nullptr) return nullptr;
  for (YatMemRange* range = manager->usedList; range != nullptr; range = range->next) {
    if (range->start == start) return range;
  }
  return nullptr;
}

void MemManagerUnlinkUsed(YatMemManager* manager, YatMemRange* range) {
  Unlink(&manager->usedList, range);
  manager->bytesInUse = range->size <= manager->bytesInUse ? manager->bytesInUse - range->size : 0;
  if (manager->usedList == nullptr) manager->bytesInUse = 0;
  range->owner = YatMemOwner{};
}

void MemManagerInsertFree(YatMemManager* manager, YatMemRange* range) {
  range->owner = YatMemOwner{};
  YatMemRange* at = manager->freeList;
  if (at == nullptr || range->start < at->start) {
    PushFront(&manager->freeList, range);
    return;
  }
  while (at->next != nullptr && at->next->start < range->start) at = at->next;
  InsertAfter(at, range);
}
