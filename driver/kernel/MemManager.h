// The range manager: a best-fit allocator of address ranges (on-board memory
// of one bank region) where every used range remembers the process it was
// given to, so that a process's ranges go back when it goes away, and ranges
// of processes that ended without a clean-up are found and reclaimed.
#pragma once

#include <cstdint>

#include "platform/win/process.h"

// The process a used range belongs to; pid 0 for a free range.
using YatMemOwner = plat::ProcessIdentity;

struct YatMemRange {
  YatMemOwner owner;
  std::uint64_t size;
  std::uint64_t start;
  YatMemRange* previous;
  YatMemRange* next;
};

struct YatMemManager {
  YatMemRange* freeList;  // sorted by start, never overlapping
  YatMemRange* usedList;  // newest first
  std::uint32_t granularity;
  std::uint64_t bytesInUse;
};

inline constexpr std::uint32_t kYatMemCreationGranularity = 4096;
inline constexpr std::uint32_t kYatMemAllocationAlignment = 2048;

// A manager with one free range [start, start + size); null (logged) when
// memory is short.
YatMemManager* MemManagerNewManager(std::uint64_t start, std::uint64_t size);
// Frees the manager and every range it holds.
void MemManagerDeleteManager(YatMemManager* manager);

// Best fit of `size` bytes (rounded up to 4) at a start that is a multiple of
// `alignment` (a power of two); false when no free range can hold it.
bool MemManagerAllocate(YatMemManager* manager, std::uint64_t size, const YatMemOwner& owner,
                        std::uint32_t alignment, std::uint64_t* start);
// Every used range of `owner` goes back to the free list, merged with its neighbours.
void MemManagerFreeByOwner(YatMemManager* manager, const YatMemOwner& owner);
// The same for every used range of any process with this id.
void MemManagerFreeByProcessId(YatMemManager* manager, std::int32_t processId);
// Every used range whose owner process has ended goes back, each one logged.
void FreeUnusedMemory(YatMemManager* manager);

// The used range that starts at `start`; null when none does.
YatMemRange* MemManagerFindUsed(const YatMemManager* manager, std::uint64_t start);
// Takes a range off the used list and out of the bytes in use.
void MemManagerUnlinkUsed(YatMemManager* manager, YatMemRange* range);
// Puts a range taken off the used list into the free list at its address
// position, without merging.
void MemManagerInsertFree(YatMemManager* manager, YatMemRange* range);

bool MemOwnerEquals(const YatMemOwner& a, const YatMemOwner& b);
