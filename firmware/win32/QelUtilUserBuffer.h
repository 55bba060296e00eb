// User buffers: physical pages the process holds (the system's physical-page
// services), mapped into windows of its address space on demand, and their
// scatter lists for DMA.
#pragma once

#include <cstdint>

struct QelUtilUserBuffer {
  std::uint64_t* pages;  // page numbers (bus address / page size), one per page
  std::uint64_t pageCount;
  std::uint64_t size;    // bytes
};

struct QelUtilUserWindow {
  void* address;         // start of the mapped pages
  std::uint64_t pageCount;
  std::uint64_t size;
  std::uint32_t callerAddress;  // 1: the address space is the caller's
};

#pragma pack(push, 1)
struct QelUtilScatterEntry {
  std::uint64_t address;
  std::uint32_t length;
};
#pragma pack(pop)
static_assert(sizeof(QelUtilScatterEntry) == 12);

// Pages for *size bytes; when fewer are granted, *size shrinks to them.
bool QelUtilAllocUserBuffer(std::uint64_t* size, QelUtilUserBuffer* object);
bool QelUtilFreeUserBuffer(QelUtilUserBuffer* object);
// Maps the pages covering offset .. offset + size at `address` (address space
// the caller reserved) or at a range reserved here (address 0); answers the
// address of byte `offset`, null on failure.
void* QelUtilMapUserBufferEx(QelUtilUserBuffer* object, std::uint64_t offset, std::uint64_t size, void* address,
                             QelUtilUserWindow* window);
void* QelUtilMapUserBuffer(QelUtilUserBuffer* object, std::uint64_t offset, std::uint64_t size,
                           QelUtilUserWindow* window);
bool QelUtilUnmapUserBuffer(QelUtilUserWindow* window);
// One entry (bus address, page size) per page; false when the list is too
// short or a page lies above 4 GB.
bool QelUtilGetSegUserBuffer(const QelUtilUserBuffer* object, QelUtilScatterEntry* list, std::uint32_t capacity);
bool QelUtilIsPagesBelow4GUserBuffer(const QelUtilUserBuffer* object);
// Trades every page above 4 GB for one below, as far as spare pages go.
bool QelUtilReplacePagesAbove4GUserBuffer(QelUtilUserBuffer* object);
bool QelUtilIsScatterListDirect();
