// Shared sections: named file mappings and each deliverable's shared data
// section. A section is created with its initial contents when the first
// process of the machine maps it, shows the same bytes to every process, and
// starts afresh once no living process holds it, even if the last one crashed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/win/objects.h"

namespace plat {

// Creates (or opens: kErrorAlreadyExists) a named section of `size` bytes,
// zero-filled when new. A null name makes an unnamed section.
Handle create_file_mapping(const SecurityAttributes* attributes, std::size_t size, const char* name);
Handle open_file_mapping(const char* name);
// Views start at multiples of this.
inline constexpr std::size_t kAllocationGranularity = 65536;

// Maps the whole section (size 0) or its first `size` bytes; null on failure.
void* map_view_of_file(Handle section, std::size_t size);
// Maps `size` bytes (0: up to the end) from `offset`, a multiple of
// kAllocationGranularity inside the section (kErrorInvalidParameter otherwise);
// the view is released with unmap_view_of_file.
void* map_view_of_file_at(Handle section, std::uint64_t offset, std::size_t size);
// The size the section was created with; 0 (kErrorInvalidHandle) for a handle
// that is not a section.
std::size_t section_size(Handle section);
bool unmap_view_of_file(void* address);

// The shared data section of a deliverable, named by its file name. The first
// mapping on the machine (or the first after every holder died) starts from
// `initial_image`, padded with zeros up to `size`. The view stays mapped until
// release_module_shared_data or the process's end.
void* map_module_shared_data(const char* module_name, std::size_t size,
                             std::span<const std::byte> initial_image = {});
void release_module_shared_data(void* address);

}  // namespace plat
