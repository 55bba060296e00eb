#include "platform/kernel/registers.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace plat::kernel {

namespace {

struct IoRange {
  std::uint64_t physical;
  std::uint64_t length;
  void* device;
  int bar;
  const IoRangeOps* ops;
};

struct Mapping {
  std::uintptr_t base;
  std::size_t reserved;
  std::size_t length;
  IoRange range;  // device null once the device is gone
  std::uint64_t offset_in_range;
};

struct IoSpace {
  std::shared_mutex lock;
  std::vector<IoRange> ranges;
  std::map<std::uintptr_t, Mapping> mappings;  // by base
};

IoSpace& io_space() {
  static IoSpace* s = new IoSpace;
  return *s;
}

constexpr std::size_t kPage = 4096;

// The mapping holding address, under a shared lock; null when none.
const Mapping* find_mapping(IoSpace& s, std::uintptr_t address) {
  auto it = s.mappings.upper_bound(address);
  if (it == s.mappings.begin()) return nullptr;
  --it;
  const Mapping& m = it->second;
  if (address + 4 > m.base + m.length) return nullptr;
  return &m;
}

}  // namespace

void register_io_range(std::uint64_t physical, std::uint64_t length, void* device, int bar,
                       const IoRangeOps* ops) {
  IoSpace& s = io_space();
  std::unique_lock guard(s.lock);
  s.ranges.push_back({physical, length, device, bar, ops});
}

void unregister_io_ranges(void* device) {
  IoSpace& s = io_space();
  std::unique_lock guard(s.lock);
  std::erase_if(s.ranges, [&](const IoRange& r) { return r.device == device; });
  for (auto& [base, m] : s.mappings)
    if (m.range.device == device) m.range.device = nullptr;
}

void* map_io_space(std::uint64_t physical, std::size_t length, CacheType) {
  if (length == 0) return nullptr;
  IoSpace& s = io_space();
  std::unique_lock guard(s.lock);
  for (const IoRange& r : s.ranges) {
    if (physical < r.physical || physical - r.physical + length > r.length) continue;
    std::size_t reserved = (length + kPage - 1) / kPage * kPage;
    void* base = ::mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    auto address = reinterpret_cast<std::uintptr_t>(base);
    s.mappings[address] = Mapping{address, reserved, length, r, physical - r.physical};
    return base;
  }
  return nullptr;
}

void unmap_io_space(void* base, std::size_t) {
  IoSpace& s = io_space();
  std::unique_lock guard(s.lock);
  auto it = s.mappings.find(reinterpret_cast<std::uintptr_t>(base));
  if (it == s.mappings.end()) return;
  ::munmap(base, it->second.reserved);
  s.mappings.erase(it);
}

std::uint32_t read_register32(const volatile std::uint32_t* address) {
  IoSpace& s = io_space();
  std::shared_lock guard(s.lock);
  auto a = reinterpret_cast<std::uintptr_t>(address);
  const Mapping* m = find_mapping(s, a);
  if (m == nullptr || m->range.device == nullptr) return 0xFFFFFFFFu;
  return m->range.ops->read32(m->range.device, m->range.bar, m->offset_in_range + (a - m->base));
}

void write_register32(volatile std::uint32_t* address, std::uint32_t value) {
  IoSpace& s = io_space();
  std::shared_lock guard(s.lock);
  auto a = reinterpret_cast<std::uintptr_t>(address);
  const Mapping* m = find_mapping(s, a);
  if (m == nullptr || m->range.device == nullptr) return;
  m->range.ops->write32(m->range.device, m->range.bar, m->offset_in_range + (a - m->base), value);
}

void memory_barrier() { std::atomic_thread_fence(std::memory_order_seq_cst); }

}  // namespace plat::kernel
