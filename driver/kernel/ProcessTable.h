// The manager's table of the processes that opened the driver's devices.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

inline constexpr std::uint32_t kYatNoProcessSlot = 0xFFFFFFFF;

// Counts an open by process `processId`, taking a slot at its first open;
// kYatNoProcessSlot when all are taken (the open still succeeds).
std::uint32_t AddProcessID(YatManagerExtension* manager, std::uint64_t processId);
// Counts a close; the last close of the process runs its clean-up.
void RemoveProcessID(YatManagerExtension* manager, std::uint64_t processId);
// The slot of a process, kYatNoProcessSlot when it has none.
std::uint32_t FindProcessSlot(YatManagerExtension* manager, std::uint64_t processId);
bool AnyProcessRegistered(YatManagerExtension* manager);

// Holds the table (recursive for its holder, so a close may run the clean-up).
class YatProcessTableLock {
 public:
  explicit YatProcessTableLock(YatManagerExtension* manager);
  ~YatProcessTableLock();
  YatProcessTableLock(const YatProcessTableLock&) = delete;
  YatProcessTableLock& operator=(const YatProcessTableLock&) = delete;

 private:
  plat::kernel::KernelMutex* mutex_;
};
// As FindProcessSlot, for a holder of the table lock.
std::uint32_t FindProcessSlotLocked(const YatManagerExtension* manager, std::uint64_t processId);

// Releases everything the process left behind and frees its slot.
QelHwStatus CloseProcess(YatManagerExtension* manager, std::uint64_t processId);
