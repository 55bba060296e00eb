// What the driver undoes when a process closes its last handle: its channels
// stopped, its transfers destroyed, its routes, memory and events released.
#include <atomic>

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

template <typename Fn>
void ForEachBoard(YatManagerExtension* manager, Fn fn) {
  for (plat::kernel::DeviceObject* device : manager->boardSlots) {
    YatBoardExtension* board = BoardOf(device);
    if (board != nullptr) fn(board);
  }
}

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

// What a process leaves on the boards (channels, transfers, routes, on-board
// memory, events) is released here; the slot itself is freed first so that
// nothing new is taken for it meanwhile.
QelHwStatus CloseProcess(YatManagerExtension* manager, std::uint64_t processId) {
  YatProcessTableLock lock(manager);
  std::uint32_t slot = FindProcessSlotLocked(manager, processId);
  if (slot == kYatNoProcessSlot) return QELHW_OK;
  manager->processTable[slot] = 0;
  manager->openCounts[slot] = 0;
  ForEachBoard(manager, [&](YatBoardExtension* board) { StopOwnedChannels(board, slot); });
  DestroySlotTransfers(manager, slot);
  ListFree(&manager->processRecords[slot].transferList);
  manager->processRecords[slot] = {0, {}};
  ForEachBoard(manager, [&](YatBoardExtension* board) { ForgetOwner(board, slot, processId); });
  for (auto& handle : manager->wow64HandleMap[slot]) handle = 0;
  ForEachBoard(manager, [&](YatBoardExtension* board) { YatReleaseSlotRoutes(board, slot); });
  ReleaseQueueEvents(manager, slot);
  return QELHW_OK;
}
