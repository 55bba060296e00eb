// The machine-wide message pool of the memory library: one shared section that
// every process maps, carved by a buddy allocator. A message is named in every
// process by its offset in the section; each block records its owner (the
// process that allocated it, or the last one that took it over by reference),
// and blocks of dead owners are reclaimed when memory runs short and when a
// process first maps the pool.
//
// Lock order: the pool's machine-wide mutex is taken alone; nothing else is
// taken while it is held.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelmem::pool {

inline constexpr char kSectionName[] = "QelMem message pool";
inline constexpr char kLockName[] = "QelMem message pool lock";
inline constexpr std::size_t kHeaderBytes = 4096;
inline constexpr unsigned kMinOrder = 6;   // 64-byte blocks, header included
inline constexpr unsigned kMaxOrder = 23;  // the whole 8 MiB arena
inline constexpr std::size_t kSectionBytes = kHeaderBytes + (std::size_t{1} << kMaxOrder);
inline constexpr std::size_t kBlockHeaderBytes = 32;

struct Status {
  std::uint64_t total_bytes;
  std::uint64_t used_bytes;
  std::uint32_t blocks_in_use;
};

// This process's view of the pool (mapped on first use); null when the
// section cannot be had.
std::byte* view();
// Offset of a new message's first payload byte (zero-filled when asked), 0 on failure.
std::uint64_t allocate(std::uint32_t size, bool zero_fill);
// False when the offset names no message in use.
bool release(std::uint64_t offset);
// True when the offset is the payload of a message in use; the calling
// process becomes its owner.
bool adopt(std::uint64_t offset);
// Frees the messages of dead owners; answers how many.
std::uint32_t reclaim_dead_owners();
Status status();

}  // namespace qelmem::pool
