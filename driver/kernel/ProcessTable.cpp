#include "driver/kernel/ProcessTable.h"

#include "driver/kernel/MessageQueues.h"
#include "driver/kernel/StavroLog.h"

using namespace plat::kernel;

YatProcessTableLock::YatProcessTableLock(YatManagerExtension* manager) : mutex_(&manager->processTableLock) {
  wait_for_object(mutex_, nullptr);
}

YatProcessTableLock::~YatProcessTableLock() { release_mutex(mutex_); }

std::uint32_t FindProcessSlotLocked(const YatManagerExtension* manager, std::uint64_t processId) {
  if (processId == 0) return kYatNoProcessSlot;
  for (std::uint32_t slot = 0; slot < kYatProcessSlots; ++slot) {
    if (manager->processTable[slot] == processId) return slot;
  }
  return kYatNoProcessSlot;
}

std::uint32_t FindProcessSlot(YatManagerExtension* manager, std::uint64_t processId) {
  YatProcessTableLock lock(manager);
  return FindProcessSlotLocked(manager, processId);
}

std::uint32_t AddProcessID(YatManagerExtension* manager, std::uint64_t processId) {
  YatProcessTableLock lock(manager);
  std::uint32_t slot = FindProcessSlotLocked(manager, processId);
  if (slot != kYatNoProcessSlot) {
    ++manager->openCounts[slot];
    return slot;
  }
  for (slot = 0; slot < kYatProcessSlots; ++slot) {
    if (manager->processTable[slot] != 0) continue;
    manager->processTable[slot] = processId;
    manager->openCounts[slot] = 1;
    manager->processRecords[slot] = {1, {}};
    // What the slot's last process left unread is not the new one's.
    ResetProcessQueues(manager, slot);
    return slot;
  }
  STAVRO_LOG(kLogError, "%s: >AddProcessID< No free process ID");
  return kYatNoProcessSlot;
}

void RemoveProcessID(YatManagerExtension* manager, std::uint64_t processId) {
  std::uint32_t slot = kYatNoProcessSlot;
  {
    YatProcessTableLock lock(manager);
    slot = FindProcessSlotLocked(manager, processId);
    if (slot == kYatNoProcessSlot) return;
    if (manager->openCounts[slot] > 0) --manager->openCounts[slot];
    if (manager->openCounts[slot] != 0) return;
    // From here on no request finds the slot, and no open takes it.
    manager->processTable[slot] = kYatSlotClosing;
  }
  CloseProcessSlot(manager, slot, processId);
}

bool AnyProcessRegistered(YatManagerExtension* manager) {
  YatProcessTableLock lock(manager);
  for (std::uint64_t id : manager->processTable) {
    if (id != 0) return true;
  }
  return false;
}
