// The manager's table of the processes that opened the driver's devices.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

inline constexpr std::uint32_t kYatNoProcessSlot = 0xFFFFFFFF;
// The table entry of a slot whose process is being cleaned up: it matches no
// process, and the slot is not taken again until the clean-up is over.
inline constexpr std::uint64_t kYatSlotClosing = ~std::uint64_t{0};

// Counts an open by process `processId`, taking a slot at its first open;
// kYatNoProcessSlot when all are taken (the open still succeeds).
std::uint32_t AddProcessID(YatManagerExtension* manager, std::uint64_t processId);
// Counts a close; the last close of the process runs its clean-up, with the
// process table held only while the slot is taken out and given back.
void RemoveProcessID(YatManagerExtension* manager, std::uint64_t processId);
// The slot of a process, kYatNoProcessSlot when it has none.
std::uint32_t FindProcessSlot(YatManagerExtension* manager, std::uint64_t processId);
bool AnyProcessRegistered(YatManagerExtension* manager);

// Holds the table: short work only (see the lock order in YatExtensions.h).
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

// Releases everything the process left behind and frees its slot. The
// caller holds no lock.
QelHwStatus CloseProcess(YatManagerExtension* manager, std::uint64_t processId);
// The clean-up itself, for a slot already marked closing (kYatSlotClosing);
// the slot is free again when it returns.
void CloseProcessSlot(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t processId);
