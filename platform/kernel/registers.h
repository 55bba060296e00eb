// Device memory (BARs) mapped into the kernel: a mapping is a reserved
// address range that is never touched directly; every access is a call that
// the kernel routes to the board model that decodes the range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::kernel {

enum class CacheType : std::uint32_t { kNonCached = 0, kCached = 1, kWriteCombined = 2 };

// Null when no device decodes the whole range.
void* map_io_space(std::uint64_t physical, std::size_t length, CacheType cache);
void unmap_io_space(void* base, std::size_t length);

// 32-bit accesses; an address outside every mapping reads all ones and drops writes.
std::uint32_t read_register32(const volatile std::uint32_t* address);
void write_register32(volatile std::uint32_t* address, std::uint32_t value);
void memory_barrier();

// For the bus: the ranges devices decode and the calls that serve them.
struct IoRangeOps {
  std::uint32_t (*read32)(void* device, int bar, std::uint64_t offset);
  void (*write32)(void* device, int bar, std::uint64_t offset, std::uint32_t value);
};
void register_io_range(std::uint64_t physical, std::uint64_t length, void* device, int bar,
                       const IoRangeOps* ops);
// Later accesses through mappings of the device's ranges read all ones.
void unregister_io_ranges(void* device);

}  // namespace plat::kernel
