// Memory of drivers: pool allocations with a four-character tag (tracked, so
// what a driver leaves behind at unload is logged), and physically contiguous
// memory below a limit, with its physical (bus) address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::kernel {

enum class PoolType : std::uint32_t { kNonPaged = 0, kPaged = 1, kNonPagedCacheAligned = 4 };

// Not zero-filled. Null when memory is short.
void* allocate_pool(PoolType type, std::size_t size, std::uint32_t tag);
void free_pool(void* address);
void free_pool_with_tag(void* address, std::uint32_t tag);

struct PoolLeak {
  std::uint32_t tag;
  std::size_t size;
};
// Pool blocks still allocated by code of the module that contains module_address.
std::vector<PoolLeak> pool_blocks_of_module(const void* module_address);
std::string tag_text(std::uint32_t tag);

// Page-aligned, physically contiguous, entirely at or below highest_physical.
void* allocate_contiguous_memory(std::size_t size, std::uint64_t highest_physical);
void free_contiguous_memory(void* address);
// Physical address of contiguous memory (0 for other memory).
std::uint64_t get_physical_address(const void* address);
// The kernel's view of a physical address inside contiguous memory (null outside).
void* physical_to_kernel_address(std::uint64_t physical);

}  // namespace plat::kernel
