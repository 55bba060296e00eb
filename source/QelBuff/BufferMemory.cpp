// The memory of a root buffer, by kind: process heap, contiguous memory,
// pages of virtual memory locked for DMA, physical pages of the memory
// library, the caller's memory. Contiguous, scatter-gather and physical-page
// memory comes from the memory library, so the board's DMA reaches it.
#include <cstdlib>
#include <vector>

#include "firmware/win32/QelUtilSharedBuffer.h"
#include "platform/win/address_space.h"
#include "platform/win/memory_probe.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferInternal.h"

namespace {

constexpr std::uint64_t kPageSize = 4096;
constexpr std::uint64_t kBelow4G = 0xFFFFFFFFull;

#define BUFFER_LOG(...) LogPutLog(kQelLogError, __FILE__, __LINE__, __VA_ARGS__)

bool Has(std::uint32_t kind, std::uint32_t flags) { return (kind & flags) == flags; }

// What one allocation took, so that a failure gives it back.
struct Taken {
  void* block = nullptr;
  std::uint64_t physical = 0;
  std::uint32_t entries = 0;  // 1: one scatter-gather entry (physical, size)
  qelmem::QelMemSgList* sgList = nullptr;
  qelmem::QelMemPhysHandle pages = 0;
  bool reserved = false;      // the block is address space reserved here
};

QelStatus Contiguous(const BufferMemoryRequest& request, std::uint64_t size, Taken* taken) {
  if (!request.allocate) {
    taken->block = BufferAddressOf(request.address);
    taken->physical = request.physical;
  } else if (QelManAllocContigBufferEx(static_cast<std::uint32_t>(size), 0, static_cast<std::uint32_t>(kBelow4G),
                                       &taken->physical, &taken->block) != QEL_OK) {
    return kQelApiNoMemory;
  }
  taken->entries = 1;
  return QEL_OK;
}

// Virtual memory locked page by page: reserved and committed here, or the
// caller's, which must be mapped for its whole size.
QelStatus ScatterGather(const BufferMemoryRequest& request, std::uint64_t size, const void* id, Taken* taken) {
  if ((request.kind & kBufferKindCaller) != 0) {
    taken->block = BufferAddressOf(request.address);
    if (!plat::memory_readable(taken->block, size)) {
      BUFFER_LOG("%s: Cannot commit virtual memory", kBufferLabel);
      return kQelApiNoMemory;
    }
  } else {
    taken->block = plat::reserve_address_space(size);
    if (taken->block == nullptr) {
      BUFFER_LOG("%s: Cannot reserve virtual memory", kBufferLabel);
      return kQelApiNoMemory;
    }
    taken->reserved = true;
    if (!plat::commit_address_space(taken->block, size)) {
      BUFFER_LOG("%s: Cannot commit virtual memory", kBufferLabel);
      return kQelApiNoMemory;
    }
  }
  if (QelManLockSGBuffer(reinterpret_cast<std::uint64_t>(id), taken->block, static_cast<std::uint32_t>(size),
                         &taken->sgList) != QEL_OK) {
    BUFFER_LOG("%s: QelManLockSGBuffer failed", kBufferLabel);
    return kQelApiNoMemory;
  }
  return QEL_OK;
}

// Physical pages of the memory library in [lowest, highest], all of them or none.
// *granted: the pages the memory library could give.
bool PagesIn(std::uint64_t lowest, std::uint64_t highest, std::uint64_t wanted, Taken* taken,
             std::uint64_t* granted) {
  std::vector<std::uint64_t> numbers(wanted);
  std::uint64_t count = wanted;
  *granted = 0;
  if (QelManAllocPhysMemory(lowest, highest, 0, &count, numbers.data(), &taken->pages) != QEL_OK) {
    taken->pages = 0;
    return false;
  }
  *granted = count;
  if (count == wanted) return true;
  if (QelManFreePhysMemory(taken->pages) != QEL_OK) BUFFER_LOG("%s: Cannot free physical memory", kBufferLabel);
  taken->pages = 0;
  return false;
}

QelStatus PhysicalPages(const BufferMemoryRequest& request, std::uint64_t size, Taken* taken) {
  const std::uint64_t wanted = (size + kPageSize - 1) / kPageSize;
  const bool below4G = (request.kind & kBufferKindScatterGather) != 0;
  std::uint64_t granted = 0;
  const bool all = below4G ? PagesIn(0, kBelow4G, wanted, taken, &granted)
                           : PagesIn(kBelow4G, ~0ull, wanted, taken, &granted) ||
                                 PagesIn(0, ~0ull, wanted, taken, &granted);
  if (!all) {
    BUFFER_LOG("%s: Cannot allocate enough physical memory", kBufferLabel);
    BUFFER_LOG("%s: Physical memory currently available: %llu", kBufferLabel,
               static_cast<unsigned long long>(granted * kPageSize));
    return kQelApiNoMemory;
  }
  std::uint64_t address = 0;
  if (QelManMapPhysMemory(taken->pages, &address) != QEL_OK) {
    BUFFER_LOG("%s: Cannot map physical memory", kBufferLabel);
    return kQelApiNoMemory;
  }
  taken->block = BufferAddressOf(address);
  return QEL_OK;
}

QelStatus Heap(const BufferMemoryRequest& request, std::uint64_t size, Taken* taken) {
  taken->entries = 1;
  if (!request.allocate) {
    taken->block = BufferAddressOf(request.address);
    return QEL_OK;
  }
  taken->block = std::calloc(1, size == 0 ? 1 : size);
  if (taken->block == nullptr) {
    BUFFER_LOG("%s: Call to QelMalloc failed", kBufferLabel);
    return kQelApiNoMemory;
  }
  return QEL_OK;
}

bool LocksCallerPages(std::uint32_t kind) {
  return (kind & kBufferKindScatterGather) != 0 &&
         ((kind & kBufferKindPhysicalPages) == 0 || (kind & kBufferKindCaller) != 0);
}

QelStatus Take(const BufferMemoryRequest& request, std::uint64_t size, const void* id, Taken* taken) {
  const std::uint32_t kind = request.kind;
  if ((kind & kBufferKindContiguous) != 0) return Contiguous(request, size, taken);
  if (LocksCallerPages(kind)) return ScatterGather(request, size, id, taken);
  if ((kind & kBufferKindPhysicalPages) != 0) {
    if ((kind & kBufferKindCaller) != 0) {
      taken->block = BufferAddressOf(request.address);
      return QEL_OK;
    }
    return PhysicalPages(request, size, taken);
  }
  if ((kind & (kBufferKindDisplayLocked | kBufferKindCaller)) == (kBufferKindDisplayLocked | kBufferKindCaller)) {
    // Contiguous memory given by its physical address, mapped by the caller.
    taken->block = BufferAddressOf(request.address);
    taken->physical = request.physical;
    taken->entries = 1;
    return QEL_OK;
  }
  return Heap(request, size, taken);
}

void GiveBack(std::uint32_t kind, bool allocated, const Taken& taken) {
  if (taken.sgList != nullptr) QelManUnlockSGBuffer(taken.sgList);
  if (taken.reserved) plat::release_address_space(taken.block);
  if (taken.pages != 0) {
    if (taken.block != nullptr) QelManUnmapPhysMemory(taken.pages, taken.block);
    QelManFreePhysMemory(taken.pages);
  }
  if (!allocated || taken.block == nullptr) return;
  if ((kind & kBufferKindContiguous) != 0) QelManFreeContigBuffer(taken.block);
  else if ((kind & (kBufferKindScatterGather | kBufferKindPhysicalPages)) == 0) std::free(taken.block);
}

void Unmap(void* block, const char* failure) {
  if (block != nullptr && QelManUnmapBuffer(block) != QEL_OK) BUFFER_LOG("%s: BufferUnmap => %s", kBufferLabel, failure);
}

void ReleaseShared(BufferDescriptor* descriptor) {
  auto* shared = reinterpret_cast<QelUtilSharedBuffer*>(static_cast<std::uintptr_t>(descriptor->sharedObject));
  QelUtilSharedWindow window{BufferAddressOf(descriptor->sharedWindow)};
  if (window.view != nullptr && !QelUtilUnmapSharedBuffer(&window))
    BUFFER_LOG("%s: BufferUnmap => Cannot unmap shared buffer", kBufferLabel);
  if (shared != nullptr) {
    if (!QelUtilFreeSharedBuffer(shared)) BUFFER_LOG("%s: BufferUnmap => Cannot free shared buffer", kBufferLabel);
    delete shared;
  }
  descriptor->sharedObject = 0;
  descriptor->sharedWindow = 0;
}

void ReleasePages(BufferDescriptor* descriptor) {
  const auto pages = static_cast<qelmem::QelMemPhysHandle>(descriptor->memoryObject);
  if (pages == 0) return;
  if (QelManUnmapPhysMemory(pages, BufferAddressOf(descriptor->blockAddress)) != QEL_OK)
    BUFFER_LOG("%s: BufferUnmap => Cannot unmap physical memory", kBufferLabel);
  if (QelManFreePhysMemory(pages) != QEL_OK) BUFFER_LOG("%s: BufferUnmap => Cannot free physical memory", kBufferLabel);
}

void ReleaseRoot(BufferDescriptor* descriptor) {
  const std::uint32_t kind = descriptor->memoryKind;
  void* block = BufferAddressOf(descriptor->blockAddress);
  const bool caller = (kind & kBufferKindCaller) != 0;
  if (Has(kind, kBufferKindDisplayLocked | kBufferKindDisplay | kBufferKindCaller)) {
    Unmap(block, "Cannot unmap buffer");
  } else if ((kind & kBufferKindContiguous) != 0) {
    if (caller) Unmap(block, "Cannot free unmap buffer");
    else if (QelManFreeContigBuffer(block) != QEL_OK)
      BUFFER_LOG("%s: BufferUnmap => Cannot free contiguous buffer", kBufferLabel);
  } else if (LocksCallerPages(kind)) {
    auto* list = reinterpret_cast<qelmem::QelMemSgList*>(static_cast<std::uintptr_t>(descriptor->memoryObject));
    if (list != nullptr && QelManUnlockSGBuffer(list) != QEL_OK)
      BUFFER_LOG("%s: BufferUnmap => Cannot unlock SG buffer", kBufferLabel);
    if (!caller) plat::release_address_space(block);
  } else if ((kind & kBufferKindPhysicalPages) != 0) {
    if (!caller) ReleasePages(descriptor);
  } else if ((kind & (kBufferKindCaller | kBufferKindNoMemory)) == 0) {
    std::free(block);
  }
  if ((kind & kBufferKindShared) != 0) ReleaseShared(descriptor);
}

}  // namespace

QelStatus BufferAllocMemory(const BufferMemoryRequest& request, BufferDescriptor** descriptor,
                            std::uint64_t* descriptorPhysical) {
  const std::uint64_t size = BufferMemorySize(request.width, request.height, request.format);
  if (const QelStatus status = BufferAllocDescriptor(descriptor, descriptorPhysical); status != QEL_OK) {
    char name[32] = {};
    QelManGetFormatName(request.format, name, sizeof name);
    BUFFER_LOG("infoSize: %lu numSGAlloc: %lu numSGUsed: %lu", static_cast<unsigned long>(sizeof(BufferDescriptor)),
               1ul, 1ul);
    BUFFER_LOG("Type: 0x%lx Width: %lu Height: %lu Format: %s Size: %lu", static_cast<unsigned long>(request.kind),
               static_cast<unsigned long>(request.width), static_cast<unsigned long>(request.height), name,
               static_cast<unsigned long>(size));
    return status;
  }
  // The memory library and the board take 32-bit sizes.
  Taken taken;
  QelStatus status = size > 0xFFFFFFFFull ? kQelApiNoMemory : QEL_OK;
  if (status == QEL_OK && (request.allocate || request.address != 0 || request.physical != 0))
    status = Take(request, size, *descriptor, &taken);
  else if (status == QEL_OK)
    taken.entries = 1;
  if (status != QEL_OK) {
    GiveBack(request.kind, request.allocate, taken);
    BufferFreeDescriptor(*descriptor);
    *descriptor = nullptr;
    return kQelApiNoMemory;
  }
  BufferDescriptor* filled = *descriptor;
  BufferFillDescriptor(filled, request.width, request.height, request.format, request.kind,
                       reinterpret_cast<std::uint64_t>(taken.block));
  filled->sgEntriesAllocated = 1;
  filled->sgEntriesUsed = taken.entries;
  filled->sgFirstPhysical = taken.entries == 1 ? taken.physical : 0;
  filled->sgFirstLength = taken.entries == 1 ? static_cast<std::uint32_t>(size) : 0;
  if (taken.sgList != nullptr) filled->memoryObject = reinterpret_cast<std::uint64_t>(taken.sgList);
  if (taken.pages != 0) filled->memoryObject = taken.pages;
  return QEL_OK;
}

QelStatus BufferFreeMemory(BufferDescriptor* descriptor) {
  if (descriptor->childCount != 0) return kBufferHasChildren;
  if (BufferDescriptor* parent = BufferParentOf(descriptor)) {
    --parent->childCount;
  } else if ((descriptor->memoryKind & (kBufferKindDisplay | kBufferKindDisplayContiguous)) != 0 &&
             BufferHasSurface(descriptor)) {
    if (const QelStatus status = BufferFreeDisplay(descriptor); status != QEL_OK) return status;
  } else {
    ReleaseRoot(descriptor);
  }
  BufferDeleteRecord(descriptor);
  return QEL_OK;
}
