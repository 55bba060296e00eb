// Simulated physical memory, owned by the kernel host: an arena (a memfd)
// standing for RAM below 4 GB, mapped by the host and by every client, plus
// bus addresses for locked client pages. The board model's DMA engines reach
// host memory only through dma_read/dma_write by bus address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/kernel/transport_server.h"

namespace plat::kernel {

inline constexpr std::uint64_t kPageSize = 4096;
// Arena pages have bus addresses from kArenaBase up (below 4 GB); locked
// client pages get bus addresses from kLockedBase up (above 4 GB). The arena
// starts at 16 MiB, so the lowest 48 MiB of it lie below 64 MiB, where the
// server driver keeps the records the board reads (its limit is 0x4000000);
// pages are handed out lowest first.
inline constexpr std::uint64_t kArenaBase = 0x01000000;
inline constexpr std::uint64_t kLockedBase = 0x1000000000;

// Creates the arena in the host (size rounded to pages, below 4 GB in all).
bool physmem_start(std::size_t arena_size);
void physmem_stop();
// The arena's file descriptor, passed to each client at connect.
int physmem_arena_fd();
std::size_t physmem_arena_size();

struct ContiguousBlock {
  std::uint64_t physical;  // bus address of the first byte
  void* kernel_address;    // the host's view
  std::size_t size;
};
// Physically contiguous, page-aligned, entirely at or below highest_address.
bool physmem_allocate(std::size_t size, std::uint64_t highest_address, ContiguousBlock* out);
void physmem_free(const ContiguousBlock& block);
// Bus address of a host address inside the arena; 0 when outside.
std::uint64_t physmem_physical_of(const void* kernel_address);
// Host address of a bus address inside the arena; null when outside.
void* physmem_kernel_address(std::uint64_t physical);
// Where the client sees a bus address inside the arena (its view + offset); 0 outside.
std::uint64_t physmem_client_address(const ClientInfo& client, std::uint64_t physical);

// Locks a client buffer for DMA: one bus address per page touched (the first
// one carries the buffer's offset in its page). The bus addresses of one
// buffer are consecutive, so DMA over the whole buffer reaches the client in
// one piece. Fails when a page is not mapped in the client. The pages stay
// reachable by DMA until unlocked or the client disconnects (the transport
// then calls physmem_release_client); an unlock after that does nothing.
struct LockedBuffer;
bool physmem_lock_client(const ClientInfo& client, std::uint64_t address, std::size_t size,
                         std::vector<std::uint64_t>* bus_pages, LockedBuffer** out);
void physmem_unlock_client(LockedBuffer* locked);
// Releases every lock of a client connection (called when it goes away).
void physmem_release_client(std::uint32_t connection_id);

// DMA by bus address, into the arena (a copy in the host) or into locked
// client pages (written in the client, one call per contiguous piece); a
// transfer may cross pages. False when any byte has no backing (nothing is
// written past it). Safe from any thread.
bool dma_write(std::uint64_t bus_address, std::span<const std::byte> data);
bool dma_read(std::uint64_t bus_address, std::span<std::byte> out);

}  // namespace plat::kernel
