// What the driver undoes when a process closes its last handle: its channels
// stopped, its transfers destroyed, its routes, memory and events released.
// The slot is marked closing first, so no request finds it and no open takes
// it; the clean-up itself runs without the process table held (destroying a
// transfer takes its channel's transfer mutex, which comes before the table
// in the lock order), and the slot is free again only at its end.
#include <atomic>

#include "driver/kernel/BoardPins.h"
#include "driver/kernel/MessageQueues.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/OnboardMemory.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/XferObjects.h"

namespace {

constexpr std::uint32_t kRegChannelControl = 0x1010;
constexpr std::uint32_t kChannelStride = 0x400;
constexpr std::uint32_t kChannelStop = 4;

// A dead owner cannot stop its acquisitions: the channels it claimed before
// grabbing (the acquisition owner table of section 7) are stopped for it.
void StopOwnedChannels(YatBoardExtension* board, std::uint32_t slot) {
  for (std::uint32_t channel = 0; channel < kYatChannels; ++channel)
    if (std::atomic_ref<std::uint32_t>(board->acqOwner[channel]).load() == slot)
      Yat_WriteReg(board, kRegChannelControl + kChannelStride * channel, kChannelStop);
}

void ForgetOwner(YatBoardExtension* board, std::uint32_t slot, std::uint64_t processId) {
  for (std::uint32_t& owner : board->acqOwner) {
    std::atomic_ref<std::uint32_t> shared(owner);  // the deferred routine clears it too
    if (shared.load() == slot) shared.store(kYatNoOwner);
  }
  for (std::uint32_t& owner : board->routeOwner)
    if (owner == slot) owner = kYatNoOwner;
  YatReleaseProcessMemory(board, static_cast<std::int32_t>(processId));
}

}  // namespace

void CloseProcessSlot(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t processId) {
  if (slot >= kYatProcessSlots) return;
  YatForEachPinnedBoard(manager, [&](YatBoardExtension* board) { StopOwnedChannels(board, slot); });
  DestroySlotTransfers(manager, slot);
  {
    YatProcessTableLock lock(manager);
    ListFree(&manager->processRecords[slot].transferList);
    manager->processRecords[slot] = {0, {}};
    for (auto& handle : manager->wow64HandleMap[slot]) handle = 0;
  }
  YatForEachPinnedBoard(manager, [&](YatBoardExtension* board) {
    ForgetOwner(board, slot, processId);
    YatReleaseSlotRoutes(board, slot);
  });
  ReleaseQueueEvents(manager, slot);
  YatProcessTableLock lock(manager);
  manager->processTable[slot] = 0;
  manager->openCounts[slot] = 0;
}

QelHwStatus CloseProcess(YatManagerExtension* manager, std::uint64_t processId) {
  std::uint32_t slot = kYatNoProcessSlot;
  {
    YatProcessTableLock lock(manager);
    slot = FindProcessSlotLocked(manager, processId);
    if (slot == kYatNoProcessSlot) return QELHW_OK;
    manager->processTable[slot] = kYatSlotClosing;
  }
  CloseProcessSlot(manager, slot, processId);
  return QELHW_OK;
}
