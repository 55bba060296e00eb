// The memory library's contiguous buffers, views of physical memory,
// scatter-gather locks and physical pages, over the memory driver's device.
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/support/qelmem_library.h"
#include "platform/win/errors.h"
#include "platform/win/physical_memory.h"

using namespace qelmem;
using qelmem::library::state;

namespace qelmem::library {

State& state() {
  static State* instance = new State;  // kept until the process ends
  return *instance;
}

std::uint64_t physical_of_view_or_lock(std::uint64_t address) {
  State& s = state();
  std::lock_guard guard(s.mutex);
  auto v = s.views.upper_bound(address);
  if (v != s.views.begin()) {
    --v;
    std::uint64_t offset = address - v->first;
    if (offset < v->second.size) {
      std::uint64_t page = offset / plat::kPhysicalPageSize;
      if (page < v->second.physical_pages.size())
        return v->second.physical_pages[page] + offset % plat::kPhysicalPageSize;
    }
  }
  for (const auto& [key, list] : s.locks) {
    if (address < list->user_address || address - list->user_address >= list->size) continue;
    std::uint64_t offset = address - list->user_address;
    for (std::uint32_t i = 0; i < list->entry_count; ++i) {
      if (offset < list->entries[i].length) return list->entries[i].physical_address + offset;
      offset -= list->entries[i].length;
    }
  }
  return 0;
}

}  // namespace qelmem::library

namespace {

constexpr std::uint64_t kPage = plat::kPhysicalPageSize;

// A new view of `count` arena pages at consecutive addresses of this process.
void* map_pages(const std::vector<std::uint64_t>& physical_pages, std::uint64_t at, bool read_only) {
  std::uint64_t bytes = physical_pages.size() * kPage;
  void* base = at != 0 ? reinterpret_cast<void*>(at)
                       : ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  std::vector<std::uint64_t> numbers;
  for (std::uint64_t p : physical_pages) numbers.push_back(p / kPage);
  if (!plat::map_physical_pages(base, numbers.size(), numbers.data())) {
    if (at == 0) ::munmap(base, bytes);
    return nullptr;
  }
  if (read_only) ::mprotect(base, bytes, PROT_READ);
  return base;
}

void* map_buffer(std::uint64_t physical, std::uint64_t size, std::uint64_t flags) {
  if (size == 0 || (flags & ~std::uint64_t{1}) != 0 || physical + size < physical ||
      plat::physical_to_user(physical) == nullptr || plat::physical_to_user(physical + size - 1) == nullptr)
    return nullptr;
  std::uint64_t first = physical / kPage * kPage;
  std::vector<std::uint64_t> pages;
  for (std::uint64_t p = first; p < physical + size; p += kPage) pages.push_back(p);
  void* base = map_pages(pages, 0, (flags & 1) != 0);
  if (base == nullptr) return nullptr;
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  s.views[reinterpret_cast<std::uint64_t>(base)] = library::View{pages.size() * kPage, pages, physical - first, false};
  return static_cast<std::byte*>(base) + (physical - first);
}

std::int32_t lock_range(std::uint64_t buffer_id, void* address, std::uint64_t size, std::uint64_t lowest,
                        std::uint64_t highest, QelMemSgList** list) {
  if (list == nullptr || address == nullptr || size == 0) return 0;
  std::uint64_t lock_id = 0;
  std::vector<std::uint64_t> bus;
  if (!plat::lock_user_pages(address, size, &lock_id, &bus) || bus.empty()) return 0;
  std::uint64_t last = bus.back() / kPage * kPage + kPage - 1;
  if (bus.front() < lowest || (highest != 0 && last > highest)) {
    plat::unlock_user_pages(lock_id);
    return 0;
  }
  std::size_t bytes = offsetof(QelMemSgList, entries) + bus.size() * sizeof(QelMemSgEntry);
  auto* made = static_cast<QelMemSgList*>(std::calloc(1, bytes));
  if (made == nullptr) {
    plat::unlock_user_pages(lock_id);
    return 0;
  }
  auto at = reinterpret_cast<std::uint64_t>(address);
  made->buffer_id = buffer_id;
  made->user_address = at;
  made->size = size;
  made->lock_id = lock_id;
  made->entry_count = static_cast<std::uint32_t>(bus.size());
  std::uint64_t left = size;
  for (std::size_t i = 0; i < bus.size(); ++i) {
    std::uint64_t piece = std::min<std::uint64_t>(left, kPage - (i == 0 ? at % kPage : 0));
    made->entries[i] = QelMemSgEntry{bus[i], static_cast<std::uint32_t>(piece), 0};
    left -= piece;
  }
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  s.locks[reinterpret_cast<std::uint64_t>(made)] = made;
  *list = made;
  return 1;
}

}  // namespace

QELMEM_EXPORT std::int32_t QelMemAllocBufferEx(std::uint32_t size, std::uint32_t lowest, std::uint32_t highest,
                                               std::uint64_t alignment, QelMemContigBuffer* out) {
  plat::ContiguousMemory memory{};
  if (out == nullptr || !plat::allocate_contiguous(size, lowest, highest, alignment, &memory)) return 0;
  *out = QelMemContigBuffer{reinterpret_cast<std::uint64_t>(memory.address), memory.physical};
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  s.contiguous[out->user_address] = memory.physical;
  return 1;
}

QELMEM_EXPORT std::int32_t QelMemAllocBuffer(std::uint32_t size, std::uint64_t* user_address,
                                             std::uint64_t* physical_address) {
  QelMemContigBuffer buffer{};
  if (user_address == nullptr || physical_address == nullptr ||
      !QelMemAllocBufferEx(size, 0, 0, 0, &buffer))
    return 0;
  *user_address = buffer.user_address;
  *physical_address = buffer.physical_address;
  return 1;
}

QELMEM_EXPORT std::int32_t QelMemFreeBuffer(void* user_address) {
  std::uint64_t physical = 0;
  {
    library::State& s = state();
    std::lock_guard guard(s.mutex);
    auto it = s.contiguous.find(reinterpret_cast<std::uint64_t>(user_address));
    if (it == s.contiguous.end()) return 0;
    physical = it->second;
    s.contiguous.erase(it);
  }
  return plat::free_contiguous(physical) ? 1 : 0;
}

QELMEM_EXPORT std::int32_t QelMemGetBufferMemStatus(QelMemStatus* out) {
  plat::PhysicalArena arena{};
  if (out == nullptr || !plat::physical_arena(&arena)) return 0;
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  *out = QelMemStatus{arena.size, 0, 0, static_cast<std::uint32_t>(s.contiguous.size()), 0};
  return 1;
}

QELMEM_EXPORT void* QelMemMapBuffer(std::uint64_t physical, std::uint64_t size) {
  return map_buffer(physical, size, 0);
}

QELMEM_EXPORT void* QelMemMapBufferEx(std::uint64_t physical, std::uint64_t size, std::uint64_t flags) {
  return map_buffer(physical, size, flags);
}

QELMEM_EXPORT std::int32_t QelMemUnmapBuffer(void* mapped) {
  auto at = reinterpret_cast<std::uint64_t>(mapped);
  std::uint64_t base = at / kPage * kPage;
  std::uint64_t size = 0;
  {
    library::State& s = state();
    std::lock_guard guard(s.mutex);
    auto it = s.views.find(base);
    if (it == s.views.end() || it->second.first_offset != at - base) return 0;
    size = it->second.size;
    s.views.erase(it);
  }
  return ::munmap(reinterpret_cast<void*>(base), size) == 0 ? 1 : 0;
}

QELMEM_EXPORT std::int32_t QelMemLockSGBuffer(std::uint64_t buffer_id, void* user_address, std::uint32_t size,
                                              std::uint64_t lowest_bus, std::uint64_t highest_bus,
                                              QelMemSgList** list) {
  return lock_range(buffer_id, user_address, size, lowest_bus, highest_bus, list);
}

QELMEM_EXPORT std::int32_t QelMemCreateMdlAndLockForVirtualBuffer(void* user_address, std::uint64_t size,
                                                                  QelMemSgList** list) {
  return lock_range(0, user_address, size, 0, 0, list);
}

QELMEM_EXPORT std::int32_t QelMemUnlockSGBuffer(QelMemSgList* list) {
  {
    library::State& s = state();
    std::lock_guard guard(s.mutex);
    if (s.locks.erase(reinterpret_cast<std::uint64_t>(list)) == 0) return 0;
  }
  bool unlocked = plat::unlock_user_pages(list->lock_id);
  std::free(list);
  return unlocked ? 1 : 0;
}

QELMEM_EXPORT std::int32_t QelMemUnlockAllSGBuffer() {
  std::map<std::uint64_t, QelMemSgList*> locks;
  {
    library::State& s = state();
    std::lock_guard guard(s.mutex);
    locks.swap(s.locks);
  }
  for (auto& [key, list] : locks) std::free(list);
  return plat::unlock_all_user_pages() ? 1 : 0;
}

QELMEM_EXPORT std::int32_t QelMemAllocPhysMemory(std::uint64_t page_count, std::uint64_t lowest,
                                                 std::uint64_t highest, std::uint64_t flags,
                                                 std::uint64_t* pages_granted, QelMemPhysHandle* memory) {
  if (page_count == 0 || flags != 0 || pages_granted == nullptr || memory == nullptr) return 0;
  std::vector<std::uint64_t> numbers(page_count);
  std::uint64_t count = page_count;
  if (!plat::allocate_physical_pages(lowest, highest, &count, numbers.data())) return 0;
  numbers.resize(count);
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  std::uint64_t handle = s.next_phys_handle++;
  s.phys_blocks[handle] = library::PhysBlock{std::move(numbers)};
  *pages_granted = count;
  *memory = handle;
  return 1;
}

QELMEM_EXPORT std::int32_t QelMemFreePhysMemory(QelMemPhysHandle memory) {
  library::PhysBlock block;
  {
    library::State& s = state();
    std::lock_guard guard(s.mutex);
    auto it = s.phys_blocks.find(memory);
    if (it == s.phys_blocks.end()) return 0;
    block = std::move(it->second);
    s.phys_blocks.erase(it);
  }
  std::uint64_t count = block.page_numbers.size();
  return plat::free_physical_pages(&count, block.page_numbers.data()) ? 1 : 0;
}

QELMEM_EXPORT std::int32_t QelMemGetPhysMemory(QelMemPhysHandle memory, std::uint64_t* page_numbers,
                                               std::uint32_t count, std::uint64_t first_page) {
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  auto it = s.phys_blocks.find(memory);
  if (it == s.phys_blocks.end() || page_numbers == nullptr || count == 0) return 0;
  const auto& numbers = it->second.page_numbers;
  if (first_page > numbers.size() || count > numbers.size() - first_page) return 0;
  std::memcpy(page_numbers, numbers.data() + first_page, count * sizeof(std::uint64_t));
  return 1;
}

QELMEM_EXPORT std::int32_t QelMemMapPhysMemory(QelMemPhysHandle memory, std::uint64_t* address) {
  std::vector<std::uint64_t> pages;
  {
    library::State& s = state();
    std::lock_guard guard(s.mutex);
    auto it = s.phys_blocks.find(memory);
    if (it == s.phys_blocks.end() || address == nullptr || *address % kPage != 0) return 0;
    for (std::uint64_t n : it->second.page_numbers) pages.push_back(n * kPage);
  }
  bool caller_address = *address != 0;
  void* base = map_pages(pages, *address, false);
  if (base == nullptr) return 0;
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  s.views[reinterpret_cast<std::uint64_t>(base)] = library::View{pages.size() * kPage, pages, 0, caller_address};
  *address = reinterpret_cast<std::uint64_t>(base);
  return 1;
}

QELMEM_EXPORT std::int32_t QelMemUnmapPhysMemory(QelMemPhysHandle memory, void* address) {
  library::State& s = state();
  std::lock_guard guard(s.mutex);
  auto block = s.phys_blocks.find(memory);
  auto view = s.views.find(reinterpret_cast<std::uint64_t>(address));
  if (block == s.phys_blocks.end() || view == s.views.end() || view->second.first_offset != 0 ||
      view->second.size != block->second.page_numbers.size() * kPage)
    return 0;
  std::uint64_t size = view->second.size;
  bool caller_address = view->second.caller_address;
  s.views.erase(view);
  if (caller_address) return plat::map_physical_pages(address, size / kPage, nullptr) ? 1 : 0;
  return ::munmap(address, size) == 0 ? 1 : 0;
}
