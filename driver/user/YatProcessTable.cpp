#include "driver/user/YatProcessTable.h"

#include <atomic>
#include <bit>

#include "driver/user/YatLibrary.h"
#include "driver/user/YatRoiPool.h"
#include "driver/user/YatTransfer.h"
#include "platform/win/process.h"
#include "qellib/QelLog.h"

namespace {

YatProcessHolder& HolderOf(std::uint32_t slot) { return Yat_GetSharedData()->holders[slot - 1]; }

std::uint32_t SlotBit(std::uint32_t slot) { return 1u << (slot - 1); }

bool HolderLives(const YatProcessHolder& holder) {
  return plat::is_process_alive(plat::ProcessIdentity{holder.pid, 0, holder.startTime});
}

// What a slot holds goes back before the slot itself, so nothing is left
// under a slot that a newcomer may take.
void ReleaseSlot(std::uint32_t slot) {
  Yat_DMA_FreeOwnersOfSlot(slot);
  Yat_RoiPool_FreeOfSlot(slot);
  HolderOf(slot) = YatProcessHolder{};
  Yat_GetSharedBoardInfo()->processSlotMask &= ~SlotBit(slot);
}

void ReclaimSlot(std::uint32_t slot) {
  const YatProcessHolder holder = HolderOf(slot);
  LogPutLog(kQelLogWarning, __FILE__, __LINE__,
            "%s: Process %d ended without closing the library: its slot %d is reclaimed", kPardowLabel,
            static_cast<int>(holder.pid), static_cast<int>(slot));
  ReleaseSlot(slot);
  std::atomic_ref<std::uint32_t> count(Yat_GetSharedBoardInfo()->loadCount);
  for (std::uint32_t seen = count.load(); seen != 0 && !count.compare_exchange_weak(seen, seen - 1);) {
  }
}

}  // namespace

QelHwStatus Yat_TakeProcessSlot() {
  YatSharedBoardInfo* info = Yat_GetSharedBoardInfo();
  if (info->processSlotMask == 0xFFFFFFFFu) return QELHW_ERROR_PROCESS_NOT_REGISTERED;
  const auto slot = static_cast<std::uint32_t>(std::countr_one(info->processSlotMask)) + 1;
  const plat::ProcessIdentity self = plat::current_process();
  HolderOf(slot) = YatProcessHolder{self.pid, 0, self.start_time};
  info->processSlotMask |= SlotBit(slot);
  Yat_GetProcessState().processSlot = slot;
  return QELHW_OK;
}

void Yat_GiveBackProcessSlot() {
  YatProcessState& state = Yat_GetProcessState();
  if (state.processSlot >= 1 && state.processSlot <= YAT_PROCESS_SLOTS) ReleaseSlot(state.processSlot);
  state.processSlot = 0;
}

// A slot whose bit is set without a holder was being taken by a process
// that died at that moment: it is reclaimed like any other dead holder's.
void Yat_ReclaimDeadHolders() {
  YatSharedBoardInfo* info = Yat_GetSharedBoardInfo();
  for (std::uint32_t slot = 1; slot <= YAT_PROCESS_SLOTS; ++slot) {
    const bool marked = (info->processSlotMask & SlotBit(slot)) != 0;
    if ((marked || HolderOf(slot).pid != 0) && !HolderLives(HolderOf(slot))) ReclaimSlot(slot);
  }
  // A process that died between raising the load count and taking its slot
  // left a count that no slot stands for.
  std::atomic_ref<std::uint32_t> count(info->loadCount);
  if (info->processSlotMask == 0 && count.load() != 0) {
    LogPutLog(kQelLogWarning, __FILE__, __LINE__, "%s: Load count %d without a process: set to 0", kPardowLabel,
              static_cast<int>(count.load()));
    count.store(0);
  }
}
