// Pieces of the simulated physical memory shared by its files.
#pragma once

#include <cstdint>
#include <map>

#include "platform/kernel/transport_server.h"

namespace plat::kernel::physmem_detail {

// A sorted set of free [start, start + length) ranges in units of pages or bytes.
using FreeRanges = std::map<std::uint64_t, std::uint64_t>;
// First range of `length` units that ends at or before `limit` (exclusive);
// false when none is free.
bool take_range(FreeRanges& ranges, std::uint64_t length, std::uint64_t limit,
                std::uint64_t* start);
void give_back_range(FreeRanges& ranges, std::uint64_t start, std::uint64_t length);

// Where a bus address in locked client pages lands in the client.
struct ClientRun {
  ClientInfo client;
  std::uint64_t address;  // the client's address of the bus address
  std::uint64_t length;   // bytes reachable from there in one piece
};
bool find_locked_run(std::uint64_t bus_address, ClientRun* run);
// The host's view of a bus address in the arena and the bytes from there to
// the arena's end (one lock); 0 outside the arena.
std::size_t arena_run(std::uint64_t bus_address, std::byte** host);
void forget_all_locks();

}  // namespace plat::kernel::physmem_detail
