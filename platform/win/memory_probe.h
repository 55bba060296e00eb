// Whether a range of the calling process's memory can be read, without
// touching it: a pointer that arrived from outside is tested before use.
#pragma once

#include <cstddef>

namespace plat {

// True when every byte of [address, address + size) is mapped readable in
// this process; false for a null address. A size of 0 is readable.
bool memory_readable(const void* address, std::size_t size);

}  // namespace plat
