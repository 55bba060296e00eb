// The memory driver's user-mode device "\\.\QELMEM": contiguous memory and
// physical pages of the simulated physical memory, and locks of the caller's
// own pages for DMA. Everything an open handle obtained is released when the
// handle is closed, or when its process dies. Requests are buffered; every
// record is little-endian and the same for 32-bit and 64-bit callers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::kernel {

inline constexpr char kQelMemUserDeviceName[] = "\\\\.\\QELMEM";
inline constexpr wchar_t kQelMemLinkName[] = L"\\DosDevices\\QELMEM";

constexpr std::uint32_t qelmem_code(std::uint32_t function) { return (0x22u << 16) | (function << 2); }

// out QelMemArenaInfo.
inline constexpr std::uint32_t kQelMemQueryArena = qelmem_code(0x900);
// in QelMemContigRequest, out QelMemContigAnswer.
inline constexpr std::uint32_t kQelMemAllocContig = qelmem_code(0x901);
// in u64 physical address of the block's first byte.
inline constexpr std::uint32_t kQelMemFreeContig = qelmem_code(0x902);
// in QelMemLockRequest, out QelMemLockAnswer followed by page_count u64 bus
// addresses (one per page touched; the first carries the offset in its page).
inline constexpr std::uint32_t kQelMemLockPages = qelmem_code(0x903);
// in u64 lock id.
inline constexpr std::uint32_t kQelMemUnlockPages = qelmem_code(0x904);
// no input: every lock of this handle.
inline constexpr std::uint32_t kQelMemUnlockAllPages = qelmem_code(0x905);
// in QelMemPagesRequest, out u64 page count granted followed by that many
// page numbers (bus address / 4096), not contiguous in general.
inline constexpr std::uint32_t kQelMemAllocPages = qelmem_code(0x906);
// in page numbers (u64 each) of pages this handle holds; out u64 count freed.
inline constexpr std::uint32_t kQelMemFreePages = qelmem_code(0x907);
// in QelMemRangeRequest, out u32: 1 when every byte of the range lies in
// contiguous blocks or physical pages that the calling process holds (through
// any of its handles), else 0.
inline constexpr std::uint32_t kQelMemQueryHeld = qelmem_code(0x908);

#pragma pack(push, 1)
struct QelMemArenaInfo {
  std::uint64_t physical_base;  // bus address of the arena's first byte
  std::uint64_t size;
  std::uint64_t user_view;      // where the caller sees the first byte
};
struct QelMemContigRequest {
  std::uint64_t size;
  std::uint64_t lowest;   // bus address limits of every byte; highest 0: below 4 GB
  std::uint64_t highest;
  std::uint64_t alignment;  // 0 or a power of two up to a page
};
struct QelMemContigAnswer {
  std::uint64_t physical;
  std::uint64_t user_address;
  std::uint64_t size;  // rounded up to whole pages
};
struct QelMemLockRequest {
  std::uint64_t address;
  std::uint64_t size;
};
struct QelMemLockAnswer {
  std::uint64_t lock_id;
  std::uint64_t page_count;
};
struct QelMemPagesRequest {
  std::uint64_t count;
  std::uint64_t lowest;   // bus address limits; highest 0: below 4 GB
  std::uint64_t highest;
};
struct QelMemRangeRequest {
  std::uint64_t physical;
  std::uint64_t size;
};
#pragma pack(pop)
static_assert(sizeof(QelMemRangeRequest) == 16);
static_assert(sizeof(QelMemArenaInfo) == 24);
static_assert(sizeof(QelMemContigRequest) == 32);
static_assert(sizeof(QelMemContigAnswer) == 24);
static_assert(sizeof(QelMemLockRequest) == 16);
static_assert(sizeof(QelMemLockAnswer) == 16);
static_assert(sizeof(QelMemPagesRequest) == 24);

// Most pages one request grants or frees (the answer stays below 1 MiB).
inline constexpr std::uint64_t kQelMemMaxPagesPerRequest = 65536;

}  // namespace plat::kernel
