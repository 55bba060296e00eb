// Client buffers locked for DMA: each buffer's pages get one contiguous run of
// bus addresses from kLockedBase up, so DMA over a buffer reaches the client
// in one piece.
#include <sys/uio.h>

#include <array>
#include <mutex>
#include <shared_mutex>

#include "platform/kernel/physical_memory.h"
#include "platform/kernel/physical_memory_internal.h"

namespace plat::kernel {

using namespace physmem_detail;

struct LockedBuffer {
  std::uint64_t first_bus_page;
  std::uint64_t page_count;
  std::uint64_t client_page;  // client address of the first page
  ClientInfo client;
};

namespace {

// Up to 64 GB of client pages locked at once.
constexpr std::uint64_t kLockedPageLimit = std::uint64_t{1} << 24;

struct Locks {
  std::shared_mutex mutex;
  std::map<std::uint64_t, LockedBuffer*> by_bus_page;  // first bus page -> buffer
  FreeRanges free_bus_pages{{0, kLockedPageLimit}};
};

Locks& locks() {
  static Locks instance;
  return instance;
}

// Locking a page that is not mapped in the client fails, as probing does on a
// real system; one byte per page is read, many pages per call.
bool client_pages_present(const ClientInfo& client, std::uint64_t first_page, std::uint64_t count) {
  std::byte first;
  if (!read_client_memory(client, first_page, std::span(&first, 1))) return false;
  constexpr std::size_t kBatch = 512;
  std::array<std::byte, kBatch> scratch;
  std::array<iovec, kBatch> remote;
  for (std::uint64_t done = 1; done < count;) {
    std::size_t batch = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, count - done));
    for (std::size_t i = 0; i < batch; ++i)
      remote[i] = iovec{reinterpret_cast<void*>(first_page + (done + i) * kPageSize), 1};
    iovec local{scratch.data(), batch};
    if (::process_vm_readv(client.process.pid, &local, 1, remote.data(), batch, 0) !=
        static_cast<ssize_t>(batch))
      return false;
    done += batch;
  }
  return true;
}

void release_locked(Locks& l, LockedBuffer* buffer) {
  give_back_range(l.free_bus_pages, buffer->first_bus_page, buffer->page_count);
  delete buffer;
}

}  // namespace

bool physmem_lock_client(const ClientInfo& client, std::uint64_t address, std::size_t size,
                         std::vector<std::uint64_t>* bus_pages, LockedBuffer** out) {
  if (address == 0 || size == 0 || address + size < address || bus_pages == nullptr ||
      out == nullptr)
    return false;
  std::uint64_t first_page = address & ~(kPageSize - 1);
  std::uint64_t count = (address + size - first_page + kPageSize - 1) / kPageSize;
  if (count > kLockedPageLimit || !client_pages_present(client, first_page, count)) return false;
  Locks& l = locks();
  std::unique_lock lock(l.mutex);
  std::uint64_t first_bus_page = 0;
  if (!take_range(l.free_bus_pages, count, kLockedPageLimit, &first_bus_page)) return false;
  auto* buffer = new LockedBuffer{first_bus_page, count, first_page, client};
  l.by_bus_page[first_bus_page] = buffer;
  lock.unlock();
  std::uint64_t bus_base = kLockedBase + first_bus_page * kPageSize;
  bus_pages->resize(count);
  for (std::uint64_t i = 0; i < count; ++i) (*bus_pages)[i] = bus_base + i * kPageSize;
  (*bus_pages)[0] += address - first_page;
  *out = buffer;
  return true;
}

void physmem_unlock_client(LockedBuffer* locked) {
  if (locked == nullptr) return;
  Locks& l = locks();
  std::unique_lock lock(l.mutex);
  // Only a live lock: the client's release may have ended it already.
  for (auto it = l.by_bus_page.begin(); it != l.by_bus_page.end(); ++it) {
    if (it->second != locked) continue;
    l.by_bus_page.erase(it);
    release_locked(l, locked);
    return;
  }
}

void physmem_release_client(std::uint32_t connection_id) {
  Locks& l = locks();
  std::unique_lock lock(l.mutex);
  for (auto it = l.by_bus_page.begin(); it != l.by_bus_page.end();) {
    if (it->second->client.connection_id == connection_id) {
      release_locked(l, it->second);
      it = l.by_bus_page.erase(it);
    } else {
      ++it;
    }
  }
}

bool physmem_detail::find_locked_run(std::uint64_t bus_address, ClientRun* run) {
  if (bus_address < kLockedBase) return false;
  std::uint64_t bus_page = (bus_address - kLockedBase) / kPageSize;
  Locks& l = locks();
  std::shared_lock lock(l.mutex);
  auto it = l.by_bus_page.upper_bound(bus_page);
  if (it == l.by_bus_page.begin()) return false;
  const LockedBuffer& buffer = *std::prev(it)->second;
  std::uint64_t offset = bus_address - (kLockedBase + buffer.first_bus_page * kPageSize);
  if (offset >= buffer.page_count * kPageSize) return false;
  *run = ClientRun{buffer.client, buffer.client_page + offset, buffer.page_count * kPageSize - offset};
  return true;
}

void physmem_detail::forget_all_locks() {
  Locks& l = locks();
  std::unique_lock lock(l.mutex);
  for (auto& [page, buffer] : l.by_bus_page) delete buffer;
  l.by_bus_page.clear();
  l.free_bus_pages = {{0, kLockedPageLimit}};
}

}  // namespace plat::kernel
