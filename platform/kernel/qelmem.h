// The memory driver's function table, handed to other drivers by the internal
// device-control request kQelMemGetFunctionTable sent to "\Device\QELMEM",
// and the records its scatter-gather lock works on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::kernel {

inline constexpr std::uint32_t kQelMemGetFunctionTable = 0x222008;
inline constexpr wchar_t kQelMemDeviceName[] = L"\\Device\\QELMEM";

// Where a locked buffer lies: one entry per physically contiguous piece.
#pragma pack(push, 1)
struct QelMemPageEntry {
  std::uint64_t physical;
  std::uint32_t length;
};
#pragma pack(pop)
static_assert(sizeof(QelMemPageEntry) == 12);

// The lock record of a user buffer. The caller fills the address and the size
// (nbBytesMax4G in the old form, buffer_size with nbBytesMax4G 0 in the Ex
// form); the lock fills the page list, its count and the lock id; the unlock
// clears them. The old form passes only the first 44 bytes.
#pragma pack(push, 1)
struct QelMemLockRecord {
  std::uint64_t user_address;
  std::uint64_t page_list;    // host address of QelMemPageEntry[page_count]
  std::uint32_t page_count;
  std::uint32_t nbBytesMax4G;
  std::uint64_t lock_id;      // 0 while not locked
  std::uint64_t reserved0;
  std::uint32_t reserved1;
  std::uint64_t buffer_size;
  std::uint32_t reserved2;
};
#pragma pack(pop)
static_assert(sizeof(QelMemLockRecord) == 56);
static_assert(offsetof(QelMemLockRecord, page_list) == 8);
static_assert(offsetof(QelMemLockRecord, page_count) == 16);
static_assert(offsetof(QelMemLockRecord, nbBytesMax4G) == 20);
static_assert(offsetof(QelMemLockRecord, lock_id) == 24);
static_assert(offsetof(QelMemLockRecord, buffer_size) == 44);
inline constexpr std::size_t kQelMemOldLockRecordSize = 44;

// Entries of the table; empty entries are null (not offered).
inline constexpr int kQelMemFree = 1;
inline constexpr int kQelMemAllocate = 3;
inline constexpr int kQelMemPhysicalAddress = 5;
inline constexpr int kQelMemLock = 7;
inline constexpr int kQelMemUnlock = 8;
inline constexpr int kQelMemLockEx = 11;
inline constexpr int kQelMemUnlockEx = 12;
inline constexpr int kQelMemAllocateDescriptorPages = 13;
inline constexpr int kQelMemAllocateZeroedPages = 14;
inline constexpr int kQelMemFreeZeroedPages = 15;
inline constexpr int kQelMemEntryCount = 16;

// Frees memory of kQelMemAllocate and kQelMemAllocateDescriptorPages.
using QelMemFreeFn = void (*)(void* system_address);
// Physically contiguous memory below 4 GB (not zero-filled); answers 1 on success.
using QelMemAllocateFn = std::uint8_t (*)(std::uint32_t size, std::uint32_t alignment,
                                          std::uint32_t flags, std::uint64_t* physical,
                                          void** system_address);
using QelMemPhysicalAddressFn = std::uint64_t (*)(const void* system_address);
// Locks for the process of the request being served; low 32 bits non-zero = locked.
using QelMemLockFn = std::uint64_t (*)(void* context, std::uint32_t reserved, QelMemLockRecord* record);
using QelMemLockExFn = std::uint64_t (*)(void* context, QelMemLockRecord* record,
                                         std::uint64_t argument1, std::uint64_t argument2);
// Answers an NT status.
using QelMemUnlockFn = std::int32_t (*)(QelMemLockRecord* record);
// Zero-filled, page-granular blocks for converted records, and their release.
using QelMemAllocateZeroedPagesFn = void* (*)(std::uint32_t size);
using QelMemFreeZeroedPagesFn = void (*)(void* address);

struct QelMemFunctionTable {
  void* entry[kQelMemEntryCount];
};
static_assert(sizeof(QelMemFunctionTable) == 128);

}  // namespace plat::kernel
