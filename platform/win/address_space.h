// Address space of the calling process: ranges reserved (no memory behind
// them, any access faults) for a later mapping such as physical pages or for
// memory committed in them, and their release.
#pragma once

#include <cstddef>

namespace plat {

// A page-aligned range of `size` bytes (rounded up to pages); null
// (kErrorNotEnoughMemory, kErrorInvalidParameter for size 0) on failure.
void* reserve_address_space(std::size_t size);
// Makes the pages covering [address, address + size) of a reserved range
// usable memory, zero-filled; false (kErrorInvalidParameter) when the pages
// are not all inside one range reserve_address_space made.
bool commit_address_space(void* address, std::size_t size);
// Gives back a range made by reserve_address_space, whatever was mapped into
// it since; false (kErrorInvalidParameter) for a range it did not make.
bool release_address_space(void* address);

}  // namespace plat
