// The simulated physical memory as a process sees it, through the memory
// driver's device "\\.\QELMEM" of the kernel host: contiguous memory and
// physical pages (bus addresses the boards' DMA reaches), views of them in
// this process, and locks of this process's own pages for DMA. What a process
// holds is released when it ends, however it ends.
//
// Every call fails with kErrorNotSupported when no kernel host serves the
// machine (the device cannot be opened).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win/objects.h"

namespace plat {

inline constexpr std::uint64_t kPhysicalPageSize = 4096;

struct PhysicalArena {
  std::uint64_t physical_base;  // bus address of the first byte
  std::uint64_t size;
  std::uint64_t user_view;      // where this process sees the first byte
};
// Asks the host (one round trip); a host that went away is replaced by the
// machine's current one.
bool physical_arena(PhysicalArena* out);
// The arena as last seen, without asking (opens the device on first use).
bool known_physical_arena(PhysicalArena* out);
// Arena memory only: null / 0 outside it.
void* physical_to_user(std::uint64_t physical);
std::uint64_t user_to_physical(const void* address);

struct ContiguousMemory {
  std::uint64_t physical;
  void* address;       // in this process
  std::uint64_t size;  // whole pages
};
// highest 0: below 4 GB. kErrorNotEnoughMemory when no run of pages fits.
bool allocate_contiguous(std::uint64_t size, std::uint64_t lowest, std::uint64_t highest,
                         std::uint64_t alignment, ContiguousMemory* out);
bool free_contiguous(std::uint64_t physical);
// Whether every byte of [physical, physical + size) lies in contiguous memory
// or physical pages that this process holds (whichever of its modules took
// them); false otherwise, or when no kernel host serves the machine.
bool physical_range_held(std::uint64_t physical, std::uint64_t size);

// One bus address per page touched; the first carries the offset in its page.
bool lock_user_pages(const void* address, std::uint64_t size, std::uint64_t* lock_id,
                     std::vector<std::uint64_t>* bus_pages);
bool unlock_user_pages(std::uint64_t lock_id);
bool unlock_all_user_pages();

// Page numbers (bus address / 4096) of pages inside [lowest, highest]
// (highest 0: below 4 GB). *count in: pages wanted, out: pages granted (fewer
// when memory runs short, never 0 on success).
bool allocate_physical_pages(std::uint64_t lowest, std::uint64_t highest, std::uint64_t* count,
                             std::uint64_t* page_numbers);
// *count out: pages freed; false when one of them was not this process's.
bool free_physical_pages(std::uint64_t* count, const std::uint64_t* page_numbers);
// Maps the pages, in order, at a page-aligned address of this process (over
// whatever was there); null page_numbers leaves the range reserved but empty.
bool map_physical_pages(void* address, std::uint64_t count, const std::uint64_t* page_numbers);

// The same three services under the names and forms a program finds in
// "kernel32" (find_system_procedure); process is ignored (always this one).
using AllocateUserPhysicalPagesFn = std::int32_t (*)(Handle process, std::uint64_t* number_of_pages,
                                                     std::uint64_t* page_array);
using FreeUserPhysicalPagesFn = std::int32_t (*)(Handle process, std::uint64_t* number_of_pages,
                                                 std::uint64_t* page_array);
using MapUserPhysicalPagesFn = std::int32_t (*)(void* address, std::uint64_t number_of_pages,
                                                std::uint64_t* page_array);

}  // namespace plat
