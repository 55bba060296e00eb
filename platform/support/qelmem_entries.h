// The entries of the memory library "QelMem.dll", as their binders call them
// (looked up by name), and the records they fill.
//
// Every entry answers 0 (false, null) on failure. BOOL results are 1 on
// success. The library keeps:
//  - one machine-wide message pool, a shared section that every process maps.
//    A message is named in every process by its *reference*: its "kernel
//    address" kQelMemPoolKernelBase + offset in the pool. QelMemMapUserToKernel
//    turns a message address of this process into its reference, and
//    QelMemMapKernelToUser turns a reference back into an address of the
//    calling process (null for a reference that names no message in use);
//    the process that does so becomes the message's owner
//    (a message passed on by reference changes hands there). Messages of a
//    dead owner are reclaimed.
//  - contiguous memory and physical pages of the simulated physical memory
//    (bus addresses below 4 GB that the boards' DMA reaches), mapped into the
//    process. Their "kernel address" is kQelMemArenaKernelBase + (physical -
//    the arena's first bus address).
//  - scatter-gather locks of the caller's own pages (bus addresses the
//    boards' DMA reaches, valid until unlocked or the process ends).
// Port I/O is refused (false, last error access denied).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelmem {

inline constexpr char kLibraryName[] = "QelMem.dll";

// Process-independent addresses ("kernel addresses") of pool messages and of
// physical memory; no user address of a process ever lies there.
inline constexpr std::uint64_t kQelMemPoolKernelBase = 0xFFFF800000000000ull;
inline constexpr std::uint64_t kQelMemArenaKernelBase = 0xFFFF900000000000ull;

// Where a contiguous buffer lies: this process's address and the bus address
// of its first byte. The buffer is page-aligned and physically contiguous.
#pragma pack(push, 1)
struct QelMemContigBuffer {
  std::uint64_t user_address;
  std::uint64_t physical_address;
};
#pragma pack(pop)
static_assert(sizeof(QelMemContigBuffer) == 16);

// One physically contiguous piece of a locked buffer.
#pragma pack(push, 1)
struct QelMemSgEntry {
  std::uint64_t physical_address;
  std::uint32_t length;
  std::uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(QelMemSgEntry) == 16);

// The list of a scatter-gather lock, allocated by the lock and freed by the
// unlock; it is also the lock's handle. The first entry starts at the
// buffer's offset in its page; the lengths add up to size.
#pragma pack(push, 1)
struct QelMemSgList {
  std::uint64_t buffer_id;     // the caller's name for the buffer, as given to the lock
  std::uint64_t user_address;  // the locked range in this process
  std::uint64_t size;
  std::uint64_t lock_id;       // the memory driver's lock
  std::uint32_t entry_count;
  std::uint32_t reserved;
  QelMemSgEntry entries[1];    // entry_count entries
};
#pragma pack(pop)
static_assert(sizeof(QelMemSgList) == 56);
static_assert(offsetof(QelMemSgList, lock_id) == 24);
static_assert(offsetof(QelMemSgList, entry_count) == 32);
static_assert(offsetof(QelMemSgList, entries) == 40);

// A block of physical pages; 0 is no block.
using QelMemPhysHandle = std::uint64_t;

// The state of the message pool or of the contiguous memory.
#pragma pack(push, 1)
struct QelMemStatus {
  std::uint64_t total_bytes;
  std::uint64_t used_bytes;
  std::uint64_t free_bytes;
  std::uint32_t blocks_in_use;
  std::uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(QelMemStatus) == 32);

extern "C" {

// Contiguous memory below 4 GB, page-aligned, mapped into this process.
using QelMemAllocBufferFn = std::int32_t (*)(std::uint32_t size, std::uint64_t* user_address,
                                             std::uint64_t* physical_address);
// The same, with every byte's bus address inside [lowest, highest] and the
// start a multiple of alignment (0 or a power of two up to 4096).
using QelMemAllocBufferExFn = std::int32_t (*)(std::uint32_t size, std::uint32_t lowest_physical,
                                               std::uint32_t highest_physical,
                                               std::uint64_t alignment, QelMemContigBuffer* out);
// Frees a contiguous buffer of this process by its user address.
using QelMemFreeBufferFn = std::int32_t (*)(void* user_address);

// A message of the pool: its address in this process and its reference.
// The first `size` bytes are zero-filled.
using QelMemAllocMsgFn = std::int32_t (*)(std::uint32_t size, void** message,
                                          std::uint64_t* reference);
// The same, with zero_fill 0 leaving the bytes as they are; reserved must be 0.
// *message receives the address as a 64-bit value.
using QelMemAllocMsgExFn = std::int32_t (*)(std::uint32_t size, std::uint32_t zero_fill,
                                            std::uint32_t reserved, std::uint64_t* message,
                                            std::uint64_t* reference);
// Frees a message by its address in this process (any process may free it).
using QelMemFreeMsgFn = std::int32_t (*)(void* message);
// Maps the pool in this process and says where: pool view, its size, the
// reference of its first byte. `reserved` must be 0.
using QelMemMapPoolFn = std::int32_t (*)(std::uint64_t* user_address, std::uint64_t* size,
                                         std::uint64_t* kernel_base, std::uint64_t reserved);

// A new view of physical memory (contiguous memory or physical pages) in this
// process; flags bit 0 makes it read-only. 0 on failure.
using QelMemMapBufferFn = void* (*)(std::uint64_t physical_address, std::uint64_t size);
using QelMemMapBufferExFn = void* (*)(std::uint64_t physical_address, std::uint64_t size,
                                      std::uint64_t flags);
// Removes a view made by QelMemMapBuffer(Ex), by the address they answered.
using QelMemUnmapBufferFn = std::int32_t (*)(void* mapped_address);

// Address translations; each answers 0 when the address lies in no memory the
// library knows (physical memory, locked buffers, pool messages).
using QelMemLinearToPhysFn = std::uint64_t (*)(const void* user_address);
using QelMemMapPhysToKernelFn = std::uint64_t (*)(std::uint64_t physical_address);
using QelMemMapKernelToPhysFn = std::uint64_t (*)(std::uint64_t kernel_address);
using QelMemMapKernelToUserFn = void* (*)(std::uint64_t kernel_address);
using QelMemMapUserToKernelFn = std::uint64_t (*)(const void* user_address);
using QelMemMapUserToPhysFn = std::uint64_t (*)(const void* user_address);
using QelMemMapPhysToUserFn = void* (*)(std::uint64_t physical_address);

// Scatter-gather locks of this process's pages. Every page's bus address must
// lie in [lowest_bus, highest_bus] (highest 0: no limit), or the lock fails.
using QelMemLockSGBufferFn = std::int32_t (*)(std::uint64_t buffer_id, void* user_address,
                                              std::uint32_t size, std::uint64_t lowest_bus,
                                              std::uint64_t highest_bus, QelMemSgList** list);
using QelMemUnlockSGBufferFn = std::int32_t (*)(QelMemSgList* list);
using QelMemUnlockAllSGBufferFn = std::int32_t (*)();
// A lock without limits and with buffer id 0.
using QelMemCreateMdlAndLockForVirtualBufferFn = std::int32_t (*)(void* user_address,
                                                                  std::uint64_t size,
                                                                  QelMemSgList** list);
// Where messaging memory begins in this process (the pool view); 0 when the
// pool cannot be mapped.
using QelMemGetMessagingBoundaryUserFn = void* (*)();

// Port I/O: always refused.
using QelMemReadIoFn = std::int32_t (*)(std::uint32_t port, std::uint32_t size, std::uint32_t* value);
using QelMemWriteIoFn = std::int32_t (*)(std::uint32_t port, std::uint32_t size, std::uint32_t value);

// Physical pages (page size 4096) with bus addresses inside [lowest, highest]
// (highest 0: below 4 GB), not contiguous in general. Grants at most
// page_count pages (*pages_granted may be fewer, never 0 on success); flags
// must be 0.
using QelMemAllocPhysMemoryFn = std::int32_t (*)(std::uint64_t page_count, std::uint64_t lowest_physical,
                                                 std::uint64_t highest_physical, std::uint64_t flags,
                                                 std::uint64_t* pages_granted, QelMemPhysHandle* memory);
using QelMemFreePhysMemoryFn = std::int32_t (*)(QelMemPhysHandle memory);
// Maps every page of the block, in order, into one range of this process:
// *address 0 lets the library choose, else the range starts there (page-aligned,
// reserved by the caller). *address receives the start.
using QelMemMapPhysMemoryFn = std::int32_t (*)(QelMemPhysHandle memory, std::uint64_t* address);
using QelMemUnmapPhysMemoryFn = std::int32_t (*)(QelMemPhysHandle memory, void* address);
// Page frame numbers (bus address / 4096) of `count` pages from first_page on.
using QelMemGetPhysMemoryFn = std::int32_t (*)(QelMemPhysHandle memory, std::uint64_t* page_numbers,
                                               std::uint32_t count, std::uint64_t first_page);

using QelMemGetMsgMemStatusFn = std::int32_t (*)(QelMemStatus* out);
using QelMemGetBufferMemStatusFn = std::int32_t (*)(QelMemStatus* out);

}  // extern "C"

}  // namespace qelmem
