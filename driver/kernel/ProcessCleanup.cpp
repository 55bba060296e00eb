#include "driver/kernel/ProcessTable.h"

// What a process leaves on the boards (channels, transfers, routes, on-board
// memory, events) is released here by the parts that own it; the slot itself
// is freed last.
QelHwStatus CloseProcess(YatManagerExtension* manager, std::uint64_t processId) {
  YatProcessTableLock lock(manager);
  std::uint32_t slot = FindProcessSlotLocked(manager, processId);
  if (slot == kYatNoProcessSlot) return QELHW_OK;
  manager->processTable[slot] = 0;
  manager->openCounts[slot] = 0;
  manager->processRecords[slot] = {0, 0};
  for (auto& handle : manager->wow64HandleMap[slot]) handle = 0;
  return QELHW_OK;
}
