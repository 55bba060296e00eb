// Requests of the kernel's test driver ("\\.\TESTDRV"), shared by the driver
// and the client helper of the kernel's tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testdrv {

constexpr std::uint32_t code_of(std::uint32_t n) { return 0x222000 + 4 * n; }

inline constexpr std::uint32_t kWhoAmI = code_of(0);
inline constexpr std::uint32_t kWriteRegister = code_of(1);
inline constexpr std::uint32_t kRegisterEvent = code_of(2);
inline constexpr std::uint32_t kCopyMemory = code_of(3);
inline constexpr std::uint32_t kAllocateContiguous = code_of(4);
inline constexpr std::uint32_t kLockBuffer = code_of(5);
inline constexpr std::uint32_t kUnlockBuffer = code_of(6);
inline constexpr std::uint32_t kLog = code_of(7);
inline constexpr std::uint32_t kCounters = code_of(8);
// Allocates pool that the driver never frees (the host reports it at unload).
inline constexpr std::uint32_t kLeakPool = code_of(9);

// kWhoAmI: the driver writes the record and reports `information_wanted`
// bytes (at most the output length).
struct WhoAmIRequest {
  std::uint32_t information_wanted;
};
struct WhoAmIReply {
  std::int32_t pid;
  std::uint32_t is_32bit;
  std::uint64_t start_time;
  std::int32_t opener_pid;  // as recorded in the file object at open
  std::uint32_t opener_is_32bit;
};
static_assert(sizeof(WhoAmIReply) == 24);

struct WriteRegisterRequest {
  std::uint32_t board;
  std::uint32_t offset;
  std::uint32_t value;
};
static_assert(sizeof(WriteRegisterRequest) == 12);

struct RegisterEventRequest {
  std::uint64_t event_handle;
};

// kCopyMemory: reads `length` bytes at `source` in the caller, adds one to
// every byte and writes them at `destination`.
struct CopyMemoryRequest {
  std::uint64_t source;
  std::uint64_t destination;
  std::uint32_t length;
  std::uint32_t reserved;
};
static_assert(sizeof(CopyMemoryRequest) == 24);

// kAllocateContiguous: byte i of the block is pattern_byte(i).
struct AllocateRequest {
  std::uint32_t size;
};
struct AllocateReply {
  std::uint64_t user_address;
  std::uint64_t physical;
};
constexpr std::uint8_t pattern_byte(std::uint64_t i) { return static_cast<std::uint8_t>(i * 7 + 3); }

inline constexpr std::uint32_t kMaxReportedPages = 16;
struct LockRequest {
  std::uint64_t address;
  std::uint64_t size;
};
struct LockReply {
  std::uint32_t lock_index;
  std::uint32_t page_count;
  std::uint64_t bus_address[kMaxReportedPages];
  std::uint32_t page_length[kMaxReportedPages];
};
static_assert(sizeof(LockReply) == 8 + 16 * 8 + 16 * 4);
struct UnlockRequest {
  std::uint32_t lock_index;
};

struct CountersReply {
  std::uint32_t interrupts_claimed;
  std::uint32_t interrupts_under_lock;
  std::uint32_t dpc_runs;
  std::uint32_t boards_started;
};

}  // namespace testdrv
