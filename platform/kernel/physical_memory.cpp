// The arena standing for RAM below 4 GB: one memfd, mapped by the host here and
// by every client at connect, handed out in physically contiguous pages.
#include "platform/kernel/physical_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "platform/kernel/physical_memory_internal.h"

namespace plat::kernel {

using namespace physmem_detail;
namespace {

constexpr std::uint64_t kFourGigabytes = 0x100000000;

struct Arena {
  std::mutex mutex;
  int fd = -1;
  std::byte* view = nullptr;
  std::size_t size = 0;
  FreeRanges free_pages;                               // page index -> count
  std::map<std::uint64_t, std::uint64_t> allocations;  // page index -> count
};

Arena& arena() {
  static Arena instance;
  return instance;
}

std::uint64_t pages_for(std::size_t bytes) { return (bytes + kPageSize - 1) / kPageSize; }

// Freed pages go back to the system, and read as zeros when handed out again.
void discard_pages(const Arena& a, std::uint64_t first_page, std::uint64_t count) {
  ::fallocate(a.fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
              static_cast<off_t>(first_page * kPageSize), static_cast<off_t>(count * kPageSize));
}

}  // namespace

bool physmem_start(std::size_t arena_size) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  std::uint64_t pages = pages_for(arena_size);
  if (a.fd >= 0 || pages == 0 || pages * kPageSize > kFourGigabytes - kArenaBase) return false;
  std::size_t size = pages * kPageSize;
  int fd = ::memfd_create("qel-physical-memory", MFD_CLOEXEC);
  if (fd < 0) return false;
  void* view = MAP_FAILED;
  if (::ftruncate(fd, static_cast<off_t>(size)) == 0)
    view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    ::close(fd);
    return false;
  }
  a.fd = fd;
  a.view = static_cast<std::byte*>(view);
  a.size = size;
  a.free_pages = {{0, pages}};
  a.allocations.clear();
  return true;
}

void physmem_stop() {
  forget_all_locks();
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  if (a.fd < 0) return;
  ::munmap(a.view, a.size);
  ::close(a.fd);
  a.fd = -1;
  a.view = nullptr;
  a.size = 0;
  a.free_pages.clear();
  a.allocations.clear();
}

int physmem_arena_fd() {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  return a.fd;
}

std::size_t physmem_arena_size() {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  return a.size;
}

bool physmem_allocate(std::size_t size, std::uint64_t highest_address, ContiguousBlock* out) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  std::uint64_t pages = pages_for(size);
  if (a.fd < 0 || pages == 0 || out == nullptr || highest_address < kArenaBase) return false;
  // Pages whose last byte is at or below the highest address.
  std::uint64_t limit = (highest_address - kArenaBase + 1) / kPageSize;
  std::uint64_t first = 0;
  if (!take_range(a.free_pages, pages, limit, &first)) return false;
  a.allocations[first] = pages;
  *out = ContiguousBlock{kArenaBase + first * kPageSize, a.view + first * kPageSize,
                         static_cast<std::size_t>(pages * kPageSize)};
  return true;
}

void physmem_free(const ContiguousBlock& block) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  if (a.fd < 0 || block.physical < kArenaBase || (block.physical - kArenaBase) % kPageSize != 0)
    return;
  auto it = a.allocations.find((block.physical - kArenaBase) / kPageSize);
  if (it == a.allocations.end()) return;
  auto [first, count] = *it;
  a.allocations.erase(it);
  discard_pages(a, first, count);
  give_back_range(a.free_pages, first, count);
}

std::uint64_t physmem_physical_of(const void* kernel_address) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  auto address = reinterpret_cast<std::uintptr_t>(kernel_address);
  auto base = reinterpret_cast<std::uintptr_t>(a.view);
  if (a.view == nullptr || address < base || address - base >= a.size) return 0;
  return kArenaBase + (address - base);
}

std::size_t physmem_detail::arena_run(std::uint64_t bus_address, std::byte** host) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  if (a.view == nullptr || bus_address < kArenaBase || bus_address - kArenaBase >= a.size) return 0;
  *host = a.view + (bus_address - kArenaBase);
  return a.size - static_cast<std::size_t>(bus_address - kArenaBase);
}

void* physmem_kernel_address(std::uint64_t physical) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  if (a.view == nullptr || physical < kArenaBase || physical - kArenaBase >= a.size) return nullptr;
  return a.view + (physical - kArenaBase);
}

std::uint64_t physmem_client_address(const ClientInfo& client, std::uint64_t physical) {
  Arena& a = arena();
  std::lock_guard lock(a.mutex);
  if (client.arena_view == 0 || physical < kArenaBase || physical - kArenaBase >= a.size) return 0;
  return client.arena_view + (physical - kArenaBase);
}

}  // namespace plat::kernel
