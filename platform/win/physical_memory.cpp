// The process's side of the memory driver's device. The device is opened once
// and kept for the life of the process: closing it would give back everything
// the process holds.
#include "platform/win/physical_memory.h"

#include <sys/mman.h>

#include <cstring>
#include <mutex>

#include "platform/kernel/qelmem_user.h"
#include "platform/win/device.h"
#include "platform/win/errors.h"

namespace plat {

namespace k = plat::kernel;

namespace {

struct Link {
  std::mutex mutex;
  Handle device = kNullHandle;
  PhysicalArena arena{};
};

Link& link() {
  static Link* instance = new Link;  // used until the process ends
  return *instance;
}

bool query_arena(Handle opened, PhysicalArena* arena) {
  k::QelMemArenaInfo info{};
  std::uint32_t returned = 0;
  if (!device_io_control(opened, k::kQelMemQueryArena, nullptr, 0, &info, sizeof info, &returned) ||
      returned != sizeof info)
    return false;
  *arena = {info.physical_base, info.size, info.user_view};
  return true;
}

// The device and the arena, opened on first use; kNullHandle when no host
// serves. With `verify`, a device whose host went away is dropped and opened
// anew (a new host on the machine).
Handle device(PhysicalArena* arena = nullptr, bool verify = false) {
  Link& l = link();
  std::lock_guard guard(l.mutex);
  if (l.device != kNullHandle && verify && !query_arena(l.device, &l.arena)) {
    close_device(l.device);
    l.device = kNullHandle;
    l.arena = {};
  }
  if (l.device == kNullHandle) {
    Handle opened = open_device(k::kQelMemUserDeviceName);
    if (opened != kNullHandle && query_arena(opened, &l.arena)) {
      l.device = opened;
    } else if (opened != kNullHandle) {
      close_device(opened);
    }
  }
  if (l.device == kNullHandle) set_last_error(kErrorNotSupported);
  if (arena) *arena = l.arena;
  return l.device;
}

bool control(std::uint32_t code, const void* in, std::uint32_t in_size, void* out, std::uint32_t out_size,
             std::uint32_t* returned = nullptr) {
  Handle d = device();
  if (d == kNullHandle) return false;
  std::uint32_t count = 0;
  bool ok = device_io_control(d, code, in, in_size, out, out_size, &count);
  if (!ok && last_error() == kErrorGenFailure) {
    // The host went away: what this process held went with it; a new host
    // is asked once.
    Handle again = device(nullptr, true);
    if (again != kNullHandle && again != d)
      ok = device_io_control(again, code, in, in_size, out, out_size, &count);
    else if (again == d)
      set_last_error(kErrorGenFailure);
  }
  if (returned) *returned = count;
  return ok;
}

bool in_arena(const PhysicalArena& a, std::uint64_t physical, std::uint64_t size) {
  return a.size != 0 && physical >= a.physical_base && size <= a.size &&
         physical - a.physical_base <= a.size - size;
}

}  // namespace

bool physical_arena(PhysicalArena* out) {
  PhysicalArena a{};
  if (device(&a, true) == kNullHandle) return false;
  if (out) *out = a;
  return true;
}

bool known_physical_arena(PhysicalArena* out) {
  PhysicalArena a{};
  if (device(&a) == kNullHandle) return false;
  if (out) *out = a;
  return true;
}

void* physical_to_user(std::uint64_t physical) {
  PhysicalArena a{};
  if (device(&a) == kNullHandle || !in_arena(a, physical, 1)) return nullptr;
  return reinterpret_cast<void*>(a.user_view + (physical - a.physical_base));
}

std::uint64_t user_to_physical(const void* address) {
  PhysicalArena a{};
  auto at = reinterpret_cast<std::uint64_t>(address);
  if (device(&a) == kNullHandle || at < a.user_view || at - a.user_view >= a.size) return 0;
  return a.physical_base + (at - a.user_view);
}

bool allocate_contiguous(std::uint64_t size, std::uint64_t lowest, std::uint64_t highest,
                         std::uint64_t alignment, ContiguousMemory* out) {
  if (out == nullptr) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  k::QelMemContigRequest request{size, lowest, highest, alignment};
  k::QelMemContigAnswer answer{};
  if (!control(k::kQelMemAllocContig, &request, sizeof request, &answer, sizeof answer)) return false;
  *out = {answer.physical, reinterpret_cast<void*>(answer.user_address), answer.size};
  return true;
}

bool free_contiguous(std::uint64_t physical) {
  return control(k::kQelMemFreeContig, &physical, sizeof physical, nullptr, 0);
}

bool physical_range_held(std::uint64_t physical, std::uint64_t size) {
  k::QelMemRangeRequest request{physical, size};
  std::uint32_t held = 0;
  return control(k::kQelMemQueryHeld, &request, sizeof request, &held, sizeof held) && held == 1;
}

bool lock_user_pages(const void* address, std::uint64_t size, std::uint64_t* lock_id,
                     std::vector<std::uint64_t>* bus_pages) {
  auto at = reinterpret_cast<std::uint64_t>(address);
  if (lock_id == nullptr || bus_pages == nullptr || size == 0 || at + size < at ||
      size > k::kQelMemMaxPagesPerRequest * kPhysicalPageSize) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  std::uint64_t pages = (at % kPhysicalPageSize + size + kPhysicalPageSize - 1) / kPhysicalPageSize;
  std::vector<std::uint64_t> answer(2 + pages);
  k::QelMemLockRequest request{at, size};
  std::uint32_t returned = 0;
  if (!control(k::kQelMemLockPages, &request, sizeof request, answer.data(),
               static_cast<std::uint32_t>(answer.size() * 8), &returned))
    return false;
  *lock_id = answer[0];
  bus_pages->assign(answer.begin() + 2, answer.begin() + 2 + static_cast<std::ptrdiff_t>(answer[1]));
  return true;
}

bool unlock_user_pages(std::uint64_t lock_id) {
  return control(k::kQelMemUnlockPages, &lock_id, sizeof lock_id, nullptr, 0);
}

bool unlock_all_user_pages() { return control(k::kQelMemUnlockAllPages, nullptr, 0, nullptr, 0); }

bool allocate_physical_pages(std::uint64_t lowest, std::uint64_t highest, std::uint64_t* count,
                             std::uint64_t* page_numbers) {
  if (count == nullptr || page_numbers == nullptr || *count == 0) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  std::uint64_t wanted = *count;
  std::uint64_t done = 0;
  // Large requests go in pieces the device takes.
  while (done < wanted) {
    std::uint64_t piece = std::min(wanted - done, k::kQelMemMaxPagesPerRequest);
    k::QelMemPagesRequest request{piece, lowest, highest};
    std::vector<std::uint64_t> answer(1 + piece);
    if (!control(k::kQelMemAllocPages, &request, sizeof request, answer.data(),
                 static_cast<std::uint32_t>(answer.size() * 8)))
      break;
    std::memcpy(page_numbers + done, answer.data() + 1, answer[0] * 8);
    done += answer[0];
    if (answer[0] < piece) break;
  }
  *count = done;
  if (done == 0) set_last_error(kErrorNotEnoughMemory);
  return done != 0;
}

bool free_physical_pages(std::uint64_t* count, const std::uint64_t* page_numbers) {
  if (count == nullptr || page_numbers == nullptr || *count == 0) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  std::uint64_t wanted = *count, done = 0;
  bool all = true;
  for (std::uint64_t at = 0; at < wanted; at += k::kQelMemMaxPagesPerRequest) {
    std::uint64_t piece = std::min(wanted - at, k::kQelMemMaxPagesPerRequest);
    std::uint64_t freed = 0;
    std::uint32_t returned = 0;
    if (!control(k::kQelMemFreePages, page_numbers + at, static_cast<std::uint32_t>(piece * 8), &freed,
                 sizeof freed, &returned))
      all = false;
    if (returned == sizeof freed) done += freed;
  }
  *count = done;
  if (!all) set_last_error(kErrorInvalidParameter);
  return all;
}

bool map_physical_pages(void* address, std::uint64_t count, const std::uint64_t* page_numbers) {
  PhysicalArena a{};
  auto at = reinterpret_cast<std::uint64_t>(address);
  if (address == nullptr || count == 0 || at % kPhysicalPageSize != 0) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  if (device(&a) == kNullHandle) return false;
  if (page_numbers != nullptr) {
    for (std::uint64_t i = 0; i < count; ++i) {
      if (!in_arena(a, page_numbers[i] * kPhysicalPageSize, kPhysicalPageSize)) {
        set_last_error(kErrorInvalidParameter);
        return false;
      }
    }
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    void* target = reinterpret_cast<void*>(at + i * kPhysicalPageSize);
    void* result = MAP_FAILED;
    if (page_numbers == nullptr) {
      result = ::mmap(target, kPhysicalPageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    } else {
      // A second view of the same arena page (the arena is a shared mapping).
      auto* source = reinterpret_cast<void*>(a.user_view + page_numbers[i] * kPhysicalPageSize - a.physical_base);
      result = ::mremap(source, 0, kPhysicalPageSize, MREMAP_MAYMOVE | MREMAP_FIXED, target);
    }
    if (result == MAP_FAILED) {
      set_last_error(kErrorAccessDenied);
      return false;
    }
  }
  return true;
}

}  // namespace plat
