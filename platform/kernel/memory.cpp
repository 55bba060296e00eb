#include "platform/kernel/memory.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/kernel/physical_memory.h"

namespace plat::kernel {

namespace {

constexpr std::uint64_t kPoolMagic = 0x4C4F4F504C455121ULL;

// Precedes every pool block; blocks are kept in one list for leak reports.
struct alignas(16) PoolHeader {
  std::uint64_t magic;
  std::uint32_t tag;
  std::uint32_t reserved;
  std::size_t size;
  const void* owner_module;  // base of the module whose code allocated it
  PoolHeader* previous;
  PoolHeader* next;
};

struct PoolBook {
  std::mutex lock;
  PoolHeader* head = nullptr;
};

PoolBook& book() {
  static PoolBook* b = new PoolBook;
  return *b;
}

struct ContiguousBook {
  std::mutex lock;
  std::map<const void*, ContiguousBlock> blocks;
};

ContiguousBook& contiguous_book() {
  static ContiguousBook* b = new ContiguousBook;
  return *b;
}

const void* module_base_of(const void* address) {
  Dl_info info{};
  if (address && ::dladdr(address, &info) != 0) return info.dli_fbase;
  return nullptr;
}

void* allocate_tracked(std::size_t size, std::uint32_t tag, const void* caller) {
  if (size > (std::size_t{1} << 40)) return nullptr;
  auto* header = static_cast<PoolHeader*>(std::aligned_alloc(16, sizeof(PoolHeader) + ((size + 15) & ~std::size_t{15})));
  if (header == nullptr) return nullptr;
  *header = {kPoolMagic, tag, 0, size, module_base_of(caller), nullptr, nullptr};
  {
    PoolBook& b = book();
    std::lock_guard guard(b.lock);
    header->next = b.head;
    if (b.head) b.head->previous = header;
    b.head = header;
  }
#ifndef NDEBUG
  // Drivers must not rely on fresh pool being zero.
  std::memset(header + 1, 0xCD, size);
#endif
  return header + 1;
}

}  // namespace

void* allocate_pool(PoolType type, std::size_t size, std::uint32_t tag) {
  (void)type;
  return allocate_tracked(size, tag, __builtin_return_address(0));
}

void free_pool(void* address) {
  if (address == nullptr) return;
  auto* header = static_cast<PoolHeader*>(address) - 1;
  if (header->magic != kPoolMagic) std::abort();  // not pool memory, or freed twice
  header->magic = 0;
  {
    PoolBook& b = book();
    std::lock_guard guard(b.lock);
    if (header->previous) header->previous->next = header->next;
    else b.head = header->next;
    if (header->next) header->next->previous = header->previous;
  }
  std::free(header);
}

void free_pool_with_tag(void* address, std::uint32_t) { free_pool(address); }

std::vector<PoolLeak> pool_blocks_of_module(const void* module_address) {
  const void* base = module_base_of(module_address);
  std::vector<PoolLeak> leaks;
  PoolBook& b = book();
  std::lock_guard guard(b.lock);
  for (PoolHeader* h = b.head; h; h = h->next)
    if (base && h->owner_module == base) leaks.push_back({h->tag, h->size});
  return leaks;
}

std::string tag_text(std::uint32_t tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '.';
  }
  return text;
}

void* allocate_contiguous_memory(std::size_t size, std::uint64_t highest_physical) {
  if (size == 0) return nullptr;
  ContiguousBlock block{};
  if (!physmem_allocate(size, highest_physical, &block)) return nullptr;
  ContiguousBook& b = contiguous_book();
  std::lock_guard guard(b.lock);
  b.blocks[block.kernel_address] = block;
  return block.kernel_address;
}

void free_contiguous_memory(void* address) {
  if (address == nullptr) return;
  ContiguousBlock block{};
  {
    ContiguousBook& b = contiguous_book();
    std::lock_guard guard(b.lock);
    auto it = b.blocks.find(address);
    if (it == b.blocks.end()) return;
    block = it->second;
    b.blocks.erase(it);
  }
  physmem_free(block);
}

std::uint64_t get_physical_address(const void* address) { return physmem_physical_of(address); }

void* physical_to_kernel_address(std::uint64_t physical) { return physmem_kernel_address(physical); }

}  // namespace plat::kernel
