// The memory driver's user-mode device: each open handle keeps what it was
// given (contiguous blocks, locks, physical pages) and gives it all back when
// it is closed, which the transport also does for a process that died.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/kernel/client.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/physical_memory.h"
#include "platform/kernel/qelmem.h"
#include "platform/kernel/qelmem_user.h"

namespace plat::kernel {

namespace {

constexpr std::uint64_t kBelow4G = 0xFFFFFFFFull;

struct OpenState {
  ProcessIdentity owner{};
  std::mutex mutex;
  std::map<std::uint64_t, ContiguousBlock> blocks;  // by bus address
  std::map<std::uint64_t, LockedBuffer*> locks;     // by lock id
  std::map<std::uint64_t, ContiguousBlock> pages;   // by page number
  std::uint64_t next_lock_id = 1;
};

// Every open handle, so that a process's holdings can be looked up across its
// handles (each module of a process may open the device itself). Taken alone,
// or before one handle's mutex.
struct OpenStates {
  std::mutex mutex;
  std::set<OpenState*> all;
};
OpenStates& open_states() {
  static OpenStates states;
  return states;
}

OpenState* state_of(Irp* irp) {
  FileObject* file = get_current_stack_location(irp)->file;
  return file ? static_cast<OpenState*>(file->context) : nullptr;
}

NtStatus finish(Irp* irp, NtStatus status, std::uint64_t information = 0) {
  irp->io_status.status = status;
  irp->io_status.information = nt_success(status) ? information : 0;
  complete_request(irp, kIoNoIncrement);
  return status;
}

std::uint64_t limit_of(std::uint64_t highest) { return highest == 0 ? kBelow4G : highest; }

struct Request {
  std::byte* buffer;
  std::uint32_t in;
  std::uint32_t out;
  template <typename T>
  bool read(T* value) const {
    if (in < sizeof(T) || buffer == nullptr) return false;
    std::memcpy(value, buffer, sizeof(T));
    return true;
  }
};

NtStatus query_arena(const Request& r, std::uint64_t* information) {
  const ClientInfo* client = current_client();
  if (r.out < sizeof(QelMemArenaInfo) || client == nullptr) return kStatusBufferTooSmall;
  QelMemArenaInfo info{kArenaBase, physmem_arena_size(), client->arena_view};
  if (info.user_view == 0 || info.size == 0) return kStatusNotSupported;
  std::memcpy(r.buffer, &info, sizeof info);
  *information = sizeof info;
  return kStatusSuccess;
}

NtStatus alloc_contig(OpenState& s, const Request& r, std::uint64_t* information) {
  QelMemContigRequest req{};
  const ClientInfo* client = current_client();
  if (!r.read(&req) || r.out < sizeof(QelMemContigAnswer) || client == nullptr)
    return kStatusInvalidParameter;
  if (req.size == 0 || req.size > kBelow4G || req.alignment > kPageSize ||
      (req.alignment & (req.alignment - 1)) != 0)
    return kStatusInvalidParameter;
  ContiguousBlock block{};
  if (!physmem_allocate(req.size, limit_of(req.highest), &block)) return kStatusNoMemory;
  if (block.physical < req.lowest) {
    physmem_free(block);
    return kStatusNoMemory;
  }
  s.blocks[block.physical] = block;
  QelMemContigAnswer answer{block.physical, physmem_client_address(*client, block.physical), block.size};
  std::memcpy(r.buffer, &answer, sizeof answer);
  *information = sizeof answer;
  return kStatusSuccess;
}

NtStatus free_contig(OpenState& s, const Request& r) {
  std::uint64_t physical = 0;
  if (!r.read(&physical)) return kStatusInvalidParameter;
  auto it = s.blocks.find(physical);
  if (it == s.blocks.end()) return kStatusInvalidParameter;
  physmem_free(it->second);
  s.blocks.erase(it);
  return kStatusSuccess;
}

NtStatus lock_pages(OpenState& s, const Request& r, std::uint64_t* information) {
  QelMemLockRequest req{};
  const ClientInfo* client = current_client();
  if (!r.read(&req) || client == nullptr || req.size == 0 || req.address == 0 ||
      req.address + req.size < req.address)
    return kStatusInvalidParameter;
  std::uint64_t pages = (req.address % kPageSize + req.size + kPageSize - 1) / kPageSize;
  if (r.out < sizeof(QelMemLockAnswer) + pages * 8) return kStatusBufferTooSmall;
  std::vector<std::uint64_t> bus_pages;
  LockedBuffer* locked = nullptr;
  if (!physmem_lock_client(*client, req.address, req.size, &bus_pages, &locked))
    return kStatusAccessViolation;
  std::uint64_t id = s.next_lock_id++;
  s.locks[id] = locked;
  QelMemLockAnswer answer{id, bus_pages.size()};
  std::memcpy(r.buffer, &answer, sizeof answer);
  std::memcpy(r.buffer + sizeof answer, bus_pages.data(), bus_pages.size() * 8);
  *information = sizeof answer + bus_pages.size() * 8;
  return kStatusSuccess;
}

NtStatus unlock_pages(OpenState& s, const Request& r) {
  std::uint64_t id = 0;
  if (!r.read(&id)) return kStatusInvalidParameter;
  auto it = s.locks.find(id);
  if (it == s.locks.end()) return kStatusInvalidParameter;
  physmem_unlock_client(it->second);
  s.locks.erase(it);
  return kStatusSuccess;
}

void unlock_all(OpenState& s) {
  for (auto& [id, locked] : s.locks) physmem_unlock_client(locked);
  s.locks.clear();
}

NtStatus alloc_pages(OpenState& s, const Request& r, std::uint64_t* information) {
  QelMemPagesRequest req{};
  if (!r.read(&req) || req.count == 0 || req.count > kQelMemMaxPagesPerRequest) return kStatusInvalidParameter;
  if (r.out < 8 + req.count * 8) return kStatusBufferTooSmall;
  std::uint64_t granted = 0;
  auto* numbers = reinterpret_cast<std::uint64_t*>(r.buffer + 8);
  while (granted < req.count) {
    ContiguousBlock page{};
    if (!physmem_allocate(kPageSize, limit_of(req.highest), &page)) break;
    if (page.physical < req.lowest) {
      physmem_free(page);
      break;
    }
    std::uint64_t number = page.physical / kPageSize;
    s.pages[number] = page;
    std::memcpy(numbers + granted, &number, 8);
    ++granted;
  }
  if (granted == 0) return kStatusNoMemory;
  std::memcpy(r.buffer, &granted, 8);
  *information = 8 + granted * 8;
  return kStatusSuccess;
}

// Frees the pages this handle holds among those named; the others are left
// alone (they may be another process's).
NtStatus free_pages(OpenState& s, const Request& r, std::uint64_t* information) {
  if (r.in == 0 || r.in % 8 != 0 || r.out < 8) return kStatusInvalidParameter;
  std::vector<std::uint64_t> numbers(r.in / 8);
  std::memcpy(numbers.data(), r.buffer, r.in);
  std::uint64_t freed = 0;
  for (std::uint64_t number : numbers) {
    auto it = s.pages.find(number);
    if (it == s.pages.end()) continue;
    physmem_free(it->second);
    s.pages.erase(it);
    ++freed;
  }
  std::memcpy(r.buffer, &freed, 8);
  *information = 8;
  return freed == numbers.size() ? kStatusSuccess : kStatusInvalidParameter;
}

// Whether [start, end) lies in what one handle holds from `at` on: the end of
// the piece covered there, or `at` when nothing covers it.
std::uint64_t covered_from(OpenState& s, std::uint64_t at) {
  auto block = s.blocks.upper_bound(at);
  if (block != s.blocks.begin()) {
    --block;
    if (at < block->first + block->second.size) return block->first + block->second.size;
  }
  if (s.pages.count(at / kPageSize) != 0) return (at / kPageSize + 1) * kPageSize;
  return at;
}

NtStatus query_held(const Request& r, std::uint64_t* information) {
  QelMemRangeRequest req{};
  const ClientInfo* client = current_client();
  if (!r.read(&req) || r.out < sizeof(std::uint32_t) || client == nullptr || req.size == 0 ||
      req.physical + req.size < req.physical)
    return kStatusInvalidParameter;
  const std::uint64_t end = req.physical + req.size;
  std::uint64_t at = req.physical;
  OpenStates& states = open_states();
  std::lock_guard all(states.mutex);
  bool moved = true;
  while (at < end && moved) {
    moved = false;
    for (OpenState* s : states.all) {
      if (s->owner.pid != client->process.pid || s->owner.start_time != client->process.start_time) continue;
      std::lock_guard one(s->mutex);
      const std::uint64_t next = covered_from(*s, at);
      if (next != at) {
        at = next;
        moved = true;
        break;
      }
    }
  }
  const std::uint32_t held = at >= end ? 1 : 0;
  std::memcpy(r.buffer, &held, sizeof held);
  *information = sizeof held;
  return kStatusSuccess;
}

NtStatus dispatch_user_control(DeviceObject*, Irp* irp) {
  OpenState* s = state_of(irp);
  const auto& p = get_current_stack_location(irp)->parameters.device_io_control;
  if (s == nullptr) return finish(irp, kStatusInvalidDeviceRequest);
  Request r{static_cast<std::byte*>(irp->system_buffer), p.input_buffer_length, p.output_buffer_length};
  std::uint64_t information = 0;
  NtStatus status = kStatusInvalidDeviceRequest;
  // Looks at every handle of the process, so it takes no handle's mutex first.
  if (p.io_control_code == kQelMemQueryHeld) {
    status = query_held(r, &information);
    return finish(irp, status, information);
  }
  std::lock_guard guard(s->mutex);
  switch (p.io_control_code) {
    case kQelMemQueryArena: status = query_arena(r, &information); break;
    case kQelMemAllocContig: status = alloc_contig(*s, r, &information); break;
    case kQelMemFreeContig: status = free_contig(*s, r); break;
    case kQelMemLockPages: status = lock_pages(*s, r, &information); break;
    case kQelMemUnlockPages: status = unlock_pages(*s, r); break;
    case kQelMemUnlockAllPages: unlock_all(*s); status = kStatusSuccess; break;
    case kQelMemAllocPages: status = alloc_pages(*s, r, &information); break;
    case kQelMemFreePages: status = free_pages(*s, r, &information); break;
    default: break;
  }
  return finish(irp, status, information);
}

NtStatus dispatch_create(DeviceObject*, Irp* irp) {
  FileObject* file = get_current_stack_location(irp)->file;
  if (file != nullptr) {
    auto* s = new OpenState;
    if (const ClientInfo* client = current_client()) s->owner = client->process;
    file->context = s;
    OpenStates& states = open_states();
    std::lock_guard all(states.mutex);
    states.all.insert(s);
  }
  return finish(irp, kStatusSuccess);
}

NtStatus dispatch_close(DeviceObject*, Irp* irp) {
  FileObject* file = get_current_stack_location(irp)->file;
  if (auto* s = file ? static_cast<OpenState*>(file->context) : nullptr) {
    {
      OpenStates& states = open_states();
      std::lock_guard all(states.mutex);
      states.all.erase(s);
    }
    unlock_all(*s);
    for (auto& [physical, block] : s->blocks) physmem_free(block);
    for (auto& [number, page] : s->pages) physmem_free(page);
    delete s;
    file->context = nullptr;
  }
  return finish(irp, kStatusSuccess);
}

}  // namespace

NtStatus qelmem_user_device_start(DriverObject* driver) {
  driver->major_function[kMajorCreate] = dispatch_create;
  driver->major_function[kMajorClose] = dispatch_close;
  driver->major_function[kMajorDeviceControl] = dispatch_user_control;
  KernelString link{}, target{};
  init_kernel_string(&link, kQelMemLinkName);
  init_kernel_string(&target, kQelMemDeviceName);
  return create_symbolic_link(&link, &target);
}

}  // namespace plat::kernel
