#include "firmware/win32/QelUtilUserBuffer.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "firmware/win32/QelUtilPrivilege.h"
#include "firmware/win32/QelUtilTrace.h"
#include "platform/win/address_space.h"
#include "platform/win/errors.h"
#include "platform/win/physical_memory.h"
#include "platform/win/privileges.h"
#include "platform/win/system_info.h"

namespace {

constexpr std::uint64_t kPageSize = plat::kPhysicalPageSize;
constexpr std::uint64_t kFirstPageAbove4G = 0x100000;
constexpr std::uint64_t kSparePages = 8192;

// The system's physical-page services, looked up once per process.
struct PhysicalPageServices {
  plat::AllocateUserPhysicalPagesFn allocate = nullptr;
  plat::FreeUserPhysicalPagesFn release = nullptr;
  plat::MapUserPhysicalPagesFn map = nullptr;
  bool Available() const { return allocate != nullptr && release != nullptr && map != nullptr; }
};

const PhysicalPageServices& Services() {
  static const PhysicalPageServices services = [] {
    PhysicalPageServices found;
    found.allocate = reinterpret_cast<plat::AllocateUserPhysicalPagesFn>(
        plat::find_system_procedure("kernel32", "AllocateUserPhysicalPages"));
    found.release = reinterpret_cast<plat::FreeUserPhysicalPagesFn>(
        plat::find_system_procedure("kernel32", "FreeUserPhysicalPages"));
    found.map = reinterpret_cast<plat::MapUserPhysicalPagesFn>(
        plat::find_system_procedure("kernel32", "MapUserPhysicalPages"));
    return found;
  }();
  return services;
}

std::uint64_t PagesFor(std::uint64_t bytes) { return (bytes + kPageSize - 1) / kPageSize; }

bool FreePages(std::uint64_t* pages, std::uint64_t count) {
  std::uint64_t freed = count;
  return count == 0 || Services().release(plat::kNullHandle, &freed, pages) != 0;
}

}  // namespace

bool QelUtilAllocUserBuffer(std::uint64_t* size, QelUtilUserBuffer* object) {
  if (size == nullptr || object == nullptr || *size == 0) {
    QEL_UTIL_TRACE("QelUtilAllocUserBuffer=> Invalid argument (bufSize, userBuffer)");
    return false;
  }
  *object = {};
  if (!Services().Available()) {
    QEL_UTIL_TRACE("QelUtilAllocUserBuffer=> Not available");
    return false;
  }
  QelUtilAdjustProcessPrivilege(plat::kSeLockMemoryPrivilege, true);
  std::uint64_t count = PagesFor(*size);
  auto* pages = new (std::nothrow) std::uint64_t[count];
  if (pages == nullptr) {
    QEL_UTIL_TRACE("QelUtilAllocUserBuffer=> Not enough memory (%llu pages)", static_cast<unsigned long long>(count));
    return false;
  }
  const std::uint64_t wanted = count;
  if (Services().allocate(plat::kNullHandle, &count, pages) == 0 || count == 0) {
    QEL_UTIL_TRACE("QelUtilAllocUserBuffer=> Cannot allocate physical pages (%llu, %u)",
                   static_cast<unsigned long long>(wanted), plat::last_error());
    delete[] pages;
    return false;
  }
  if (count < wanted) *size = count * kPageSize;
  *object = {pages, count, *size};
  return true;
}

bool QelUtilFreeUserBuffer(QelUtilUserBuffer* object) {
  if (object == nullptr || object->pages == nullptr) {
    QEL_UTIL_TRACE("QelUtilFreeUserBuffer=> Invalid argument (userBuffer)");
    return false;
  }
  const bool freed = Services().Available() && FreePages(object->pages, object->pageCount);
  if (!freed) QEL_UTIL_TRACE("QelUtilFreeUserBuffer=> Cannot free physical pages (%u)", plat::last_error());
  delete[] object->pages;
  *object = {};
  return freed;
}

void* QelUtilMapUserBufferEx(QelUtilUserBuffer* object, std::uint64_t offset, std::uint64_t size, void* address,
                             QelUtilUserWindow* window) {
  if (object == nullptr || object->pages == nullptr || window == nullptr || size == 0) {
    QEL_UTIL_TRACE("QelUtilMapUserBufferEx=> Invalid argument (userBuffer, userWindow, mapSize)");
    return nullptr;
  }
  *window = {};
  if (offset > object->size || size > object->size - offset) {
    QEL_UTIL_TRACE("QelUtilMapUserBufferEx=> Invalid argument (bufOffset + bufMapSize > bufSize)");
    return nullptr;
  }
  const std::uint64_t first = offset / kPageSize;
  const std::uint64_t count = PagesFor(offset + size) - first;
  void* range = address != nullptr ? address : plat::reserve_address_space(count * kPageSize);
  if (range == nullptr) {
    QEL_UTIL_TRACE("QelUtilMapUserBufferEx=> Cannot reserve address space (%u)", plat::last_error());
    return nullptr;
  }
  if (Services().map(range, count, object->pages + first) == 0) {
    QEL_UTIL_TRACE("QelUtilMapUserBufferEx=> Cannot map physical pages (%u)", plat::last_error());
    if (address == nullptr) plat::release_address_space(range);
    return nullptr;
  }
  *window = {range, count, count * kPageSize, address != nullptr ? 1u : 0u};
  return static_cast<std::byte*>(range) + offset % kPageSize;
}

void* QelUtilMapUserBuffer(QelUtilUserBuffer* object, std::uint64_t offset, std::uint64_t size,
                           QelUtilUserWindow* window) {
  return QelUtilMapUserBufferEx(object, offset, size, nullptr, window);
}

bool QelUtilUnmapUserBuffer(QelUtilUserWindow* window) {
  if (window == nullptr || window->address == nullptr) {
    QEL_UTIL_TRACE("QelUtilUnmapUserBuffer=> Invalid argument (userWindow)");
    return false;
  }
  bool unmapped = Services().Available() && Services().map(window->address, window->pageCount, nullptr) != 0;
  if (window->callerAddress == 0) unmapped = plat::release_address_space(window->address) && unmapped;
  if (!unmapped) QEL_UTIL_TRACE("QelUtilUnmapUserBuffer=> Cannot unmap physical pages (%u)", plat::last_error());
  *window = {};
  return unmapped;
}

bool QelUtilGetSegUserBuffer(const QelUtilUserBuffer* object, QelUtilScatterEntry* list, std::uint32_t capacity) {
  if (object == nullptr || object->pages == nullptr || list == nullptr || capacity < object->pageCount) {
    QEL_UTIL_TRACE("QelUtilGetPagesUserBuffer=> Invalid argument (userBuffer, list, capacity)");
    return false;
  }
  if (!QelUtilIsPagesBelow4GUserBuffer(object)) {
    QEL_UTIL_TRACE("QelUtilGetPagesUserBuffer=> At least one page is above 4 GBytes");
    return false;
  }
  for (std::uint64_t page = 0; page < object->pageCount; ++page)
    list[page] = {object->pages[page] * kPageSize, static_cast<std::uint32_t>(kPageSize)};
  return true;
}

bool QelUtilIsPagesBelow4GUserBuffer(const QelUtilUserBuffer* object) {
  if (object == nullptr || object->pages == nullptr) return false;
  return std::all_of(object->pages, object->pages + object->pageCount,
                     [](std::uint64_t page) { return page < kFirstPageAbove4G; });
}

bool QelUtilReplacePagesAbove4GUserBuffer(QelUtilUserBuffer* object) {
  if (object == nullptr || object->pages == nullptr) {
    QEL_UTIL_TRACE("QelUtilReplacePagesAbove4GUserBuffer=> Invalid argument (userBuffer)");
    return false;
  }
  while (!QelUtilIsPagesBelow4GUserBuffer(object)) {
    std::uint64_t spareSize = std::max<std::uint64_t>(object->pageCount, kSparePages) * kPageSize;
    QelUtilUserBuffer spare{};
    if (!QelUtilAllocUserBuffer(&spareSize, &spare)) return false;
    std::uint64_t next = 0;
    bool swapped = false;
    for (std::uint64_t page = 0; page < object->pageCount; ++page) {
      if (object->pages[page] < kFirstPageAbove4G) continue;
      while (next < spare.pageCount && spare.pages[next] >= kFirstPageAbove4G) ++next;
      if (next == spare.pageCount) break;
      std::swap(object->pages[page], spare.pages[next++]);
      swapped = true;
    }
    // The spare buffer takes the high pages with it.
    QelUtilFreeUserBuffer(&spare);
    if (!swapped) return false;
  }
  return true;
}

bool QelUtilIsScatterListDirect() { return true; }
