// Pieces of the memory library shared by its files: the export macro and the
// process's bookkeeping of what it mapped and locked.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/support/qelmem_entries.h"

#define QELMEM_EXPORT extern "C" __attribute__((visibility("default")))

namespace qelmem::library {

// A view of physical memory made by QelMemMapBuffer(Ex) or QelMemMapPhysMemory.
struct View {
  std::uint64_t size;
  std::vector<std::uint64_t> physical_pages;  // bus address of each page of the view
  std::uint64_t first_offset;                 // of the first byte in its page
  bool caller_address;                        // the range was the caller's: unmapping leaves it reserved
};

struct PhysBlock {
  std::vector<std::uint64_t> page_numbers;
};

// Lock order: State::mutex is taken alone (never around a pool or device call
// that could take it again).
struct State {
  std::mutex mutex;
  std::map<std::uint64_t, View> views;                  // by start address (page-aligned)
  std::map<std::uint64_t, std::uint64_t> contiguous;    // user address -> physical
  std::map<std::uint64_t, QelMemSgList*> locks;         // user list address -> list
  std::map<std::uint64_t, PhysBlock> phys_blocks;       // by handle
  std::uint64_t next_phys_handle = 1;
};
State& state();

// Bus address of an address inside a view or a locked buffer of this process; 0 when none.
std::uint64_t physical_of_view_or_lock(std::uint64_t address);

}  // namespace qelmem::library
