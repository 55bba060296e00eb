// The memory driver: contiguous memory below 4 GB with physical addresses, and
// scatter-gather locking of user buffers for DMA (the pages of the process
// whose request is being served get bus addresses the boards can reach).
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/kernel/client.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/physical_memory.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/qelmem.h"
#include "platform/kernel/qelmem_user.h"

namespace plat::kernel {

namespace {

constexpr std::uint64_t kBelow4G = 0xFFFFFFFFull;

struct Lock {
  LockedBuffer* locked;
  QelMemPageEntry* pages;
  std::uint32_t connection_id;
};

struct LockBook {
  std::mutex lock;
  std::map<std::uint64_t, Lock> locks;
  std::uint64_t next_id = 1;
  std::map<void*, std::size_t> zeroed_blocks;
};

LockBook& book() {
  static LockBook* b = new LockBook;
  return *b;
}

void mem_free(void* system_address) { free_contiguous_memory(system_address); }

std::uint8_t mem_allocate(std::uint32_t size, std::uint32_t alignment, std::uint32_t,
                          std::uint64_t* physical, void** system_address) {
  if (size == 0 || physical == nullptr || system_address == nullptr) return 0;
  if (alignment > kPageSize) return 0;  // contiguous memory is page-aligned, no more
  void* memory = allocate_contiguous_memory(size, kBelow4G);
  if (memory == nullptr) return 0;
  *system_address = memory;
  *physical = get_physical_address(memory);
  return 1;
}

std::uint64_t mem_physical_address(const void* system_address) {
  return get_physical_address(system_address);
}

// The page list of a locked range: the first entry starts at the buffer's
// offset in its page.
QelMemPageEntry* page_list_of(const std::vector<std::uint64_t>& bus_pages, std::uint64_t address,
                              std::uint64_t size) {
  auto* pages = new QelMemPageEntry[bus_pages.size()];
  std::uint64_t left = size;
  std::uint64_t offset = address % kPageSize;
  for (std::size_t i = 0; i < bus_pages.size(); ++i) {
    std::uint64_t piece = std::min<std::uint64_t>(left, kPageSize - (i == 0 ? offset : 0));
    pages[i] = {bus_pages[i], static_cast<std::uint32_t>(piece)};
    left -= piece;
  }
  return pages;
}

std::uint64_t lock_buffer(QelMemLockRecord* record, std::uint64_t size) {
  const ClientInfo* client = current_client();
  if (record == nullptr || client == nullptr || size == 0 || record->user_address == 0) return 0;
  if (record->lock_id != 0) return 0;  // already locked through this record
  std::vector<std::uint64_t> bus_pages;
  LockedBuffer* locked = nullptr;
  if (!physmem_lock_client(*client, record->user_address, size, &bus_pages, &locked) || bus_pages.empty())
    return 0;
  QelMemPageEntry* pages = page_list_of(bus_pages, record->user_address, size);
  LockBook& b = book();
  std::lock_guard guard(b.lock);
  std::uint64_t id = b.next_id++;
  if ((id & 0xFFFFFFFFu) == 0) id = b.next_id++;
  b.locks[id] = Lock{locked, pages, client->connection_id};
  record->page_list = reinterpret_cast<std::uint64_t>(pages);
  record->page_count = static_cast<std::uint32_t>(bus_pages.size());
  record->lock_id = id;
  return id;
}

std::int32_t unlock_buffer(QelMemLockRecord* record) {
  if (record == nullptr) return kStatusInvalidParameter;
  Lock lock{};
  {
    LockBook& b = book();
    std::lock_guard guard(b.lock);
    auto it = b.locks.find(record->lock_id);
    if (it == b.locks.end() || reinterpret_cast<std::uint64_t>(it->second.pages) != record->page_list)
      return kStatusInvalidParameter;
    lock = it->second;
    b.locks.erase(it);
  }
  physmem_unlock_client(lock.locked);
  delete[] lock.pages;
  record->page_list = 0;
  record->page_count = 0;
  record->lock_id = 0;
  return kStatusSuccess;
}

std::uint64_t mem_lock(void*, std::uint32_t, QelMemLockRecord* record) {
  return record ? lock_buffer(record, record->nbBytesMax4G) : 0;
}

std::uint64_t mem_lock_ex(void*, QelMemLockRecord* record, std::uint64_t, std::uint64_t) {
  if (record == nullptr || record->nbBytesMax4G != 0) return 0;
  return lock_buffer(record, record->buffer_size);
}

void* mem_allocate_zeroed_pages(std::uint32_t size) {
  if (size == 0) return nullptr;
  std::size_t rounded = (size + kPageSize - 1) / kPageSize * kPageSize;
  void* memory = std::aligned_alloc(kPageSize, rounded);
  if (memory == nullptr) return nullptr;
  std::memset(memory, 0, rounded);
  LockBook& b = book();
  std::lock_guard guard(b.lock);
  b.zeroed_blocks[memory] = rounded;
  return memory;
}

void mem_free_zeroed_pages(void* address) {
  {
    LockBook& b = book();
    std::lock_guard guard(b.lock);
    if (b.zeroed_blocks.erase(address) == 0) return;
  }
  std::free(address);
}

template <typename Fn>
void* entry_of(Fn fn) {
  return reinterpret_cast<void*>(fn);
}

QelMemFunctionTable function_table() {
  QelMemFunctionTable table{};
  table.entry[kQelMemFree] = entry_of<QelMemFreeFn>(mem_free);
  table.entry[kQelMemAllocate] = entry_of<QelMemAllocateFn>(mem_allocate);
  table.entry[kQelMemPhysicalAddress] = entry_of<QelMemPhysicalAddressFn>(mem_physical_address);
  table.entry[kQelMemLock] = entry_of<QelMemLockFn>(mem_lock);
  table.entry[kQelMemUnlock] = entry_of<QelMemUnlockFn>(unlock_buffer);
  table.entry[kQelMemLockEx] = entry_of<QelMemLockExFn>(mem_lock_ex);
  table.entry[kQelMemUnlockEx] = entry_of<QelMemUnlockFn>(unlock_buffer);
  table.entry[kQelMemAllocateDescriptorPages] = entry_of<QelMemAllocateFn>(mem_allocate);
  table.entry[kQelMemAllocateZeroedPages] = entry_of<QelMemAllocateZeroedPagesFn>(mem_allocate_zeroed_pages);
  table.entry[kQelMemFreeZeroedPages] = entry_of<QelMemFreeZeroedPagesFn>(mem_free_zeroed_pages);
  return table;
}

NtStatus dispatch_internal(DeviceObject*, Irp* irp) {
  const QelMemFunctionTable table = function_table();
  return complete_interface_request(irp, kQelMemGetFunctionTable, &table, sizeof table);
}

void unload(DriverObject* driver) {
  KernelString link{};
  init_kernel_string(&link, kQelMemLinkName);
  delete_symbolic_link(&link);
  delete_all_devices(driver);
}

}  // namespace

NtStatus qelmem_driver_entry(DriverObject* driver, const KernelString*) {
  NtStatus status = create_outside_device(driver, kQelMemDeviceName);
  if (!nt_success(status)) return status;
  driver->major_function[kMajorInternalDeviceControl] = dispatch_internal;
  driver->unload = unload;
  return qelmem_user_device_start(driver);
}

std::uint32_t qelmem_locked_buffer_count() {
  LockBook& b = book();
  std::lock_guard guard(b.lock);
  return static_cast<std::uint32_t>(b.locks.size());
}

}  // namespace plat::kernel
