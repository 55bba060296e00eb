// Transfer objects in their process's list, and their end: a transfer's
// channels stopped and cleared, its descriptor and buffer-list memory
// returned, its state-word mappings undone, and every host-buffer lock it
// took released exactly once, whoever ends it (the process, its close, or
// the removal of its board).
#include "driver/kernel/BoardPins.h"
#include "driver/kernel/KernelServices.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/OutsideDrivers.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/XferObjects.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagArrays = StavroPoolTag('X');
constexpr std::uint32_t kBlockWords = 16;
constexpr std::uint64_t kSelfTagMix = 0xA5C3F00D5A3C0FF1ull;
// A close waits this long for the removal of a board to end the process's
// transfers on it; past it the blocks are dropped with a log line.
constexpr std::uint32_t kRemovalWaitMs = 30000;

YatBlockList* SlotList(YatManagerExtension* manager, std::uint32_t slot) {
  return slot < kYatProcessSlots ? &manager->processRecords[slot].transferList : nullptr;
}

std::uint64_t SelfTag(const YatXferObject* transfer) {
  return reinterpret_cast<std::uintptr_t>(transfer) ^ kSelfTagMix;
}

void FreeBlock(YatBlockList* list, const void* payload) {
  if (list == nullptr || payload == nullptr) return;
  BlockListFree(BlockListCheckHandle(payload, list), list);
}

void ClearChannelBlocks(YatBoardExtension* board, const YatXferPart& part, std::uint32_t base) {
  const std::uint32_t zeros[kBlockWords] = {};
  for (std::uint32_t i = 0; i < part.channelCount; ++i)
    Yat_WriteCacheDwords(board, base + part.channels[i]->dmaChannel * 0x40, zeros, kBlockWords);
}

void UnlockHostBuffer(YatBoardExtension* board, YatBhDmaInfo* block) {
  if (!block->locked) return;
  block->locked = 0;
  if (plat::nt_success(QelMemScatterGatherUnlockEx(&block->lock)) || board == nullptr) return;
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  if (manager != nullptr && (manager->traceFlags & kTraceChannels) != 0)
    STAVRO_LOG(kLogError, "%s: >QelMemScatterGatherUnlockEx< ");
}

// Frees the part's channel infos, information blocks and list, and zeroes it.
void ReleasePart(YatBoardExtension* board, YatBlockList* list, YatXferPart* part, bool bh) {
  FreePageForPCI(board, &part->bufferList);
  for (std::uint32_t i = 0; i < part->dmaInfoCount; ++i) {
    void* info = part->dmaInfos[i];
    if (bh) {
      auto* block = static_cast<YatBhDmaInfo*>(info);
      if (block->ownsMapping) UnmapBuffer(block->mappedUser);
      DmaFreeResult(board, block->result);
      UnlockHostBuffer(board, block);
    } else {
      DmaFreeResult(board, *static_cast<DmaResult**>(info));
    }
    FreeBlock(list, info);
  }
  for (std::uint32_t i = 0; i < part->channelCount; ++i) FreeBlock(list, part->channels[i]);
  if (part->dmaInfos != nullptr) free_pool_with_tag(part->dmaInfos, kTagArrays);
  *part = YatXferPart{};
}

void TraceFree(YatManagerExtension* manager, const char* message, std::uint32_t count) {
  if ((manager->traceFlags & kTraceChannels) != 0) STAVRO_LOG(kLogTrace, message, static_cast<int>(count));
}

bool Listed(YatManagerExtension* manager, std::uint32_t slot, const YatXferObject* transfer) {
  return BlockListCheckHandle(transfer, SlotList(manager, slot)) != kYatNoBlock && transfer->selfTag == SelfTag(transfer);
}

// Moves the transfer's blocks (the object, its channel infos and DMA
// information blocks) out of the slot's list; the table is held.
void TakeOutBlocks(YatManagerExtension* manager, std::uint32_t slot, YatXferObject* transfer, YatBlockList* blocks) {
  YatBlockList* list = SlotList(manager, slot);
  for (YatXferPart* part : {&transfer->al, &transfer->lb, &transfer->bh}) {
    for (std::uint32_t i = 0; i < part->channelCount; ++i) BlockListMove(part->channels[i], list, blocks);
    for (std::uint32_t i = 0; i < part->dmaInfoCount; ++i) BlockListMove(part->dmaInfos[i], list, blocks);
  }
  BlockListMove(transfer, list, blocks);
}

// The first transfer of a slot's list that `wanted` accepts (the table is held).
template <typename Wanted>
bool FirstTransfer(YatManagerExtension* manager, std::uint32_t slot, Wanted wanted, YatXferRef* ref) {
  YatBlockList* list = SlotList(manager, slot);
  for (std::int32_t position = 0;; ++position) {
    void* payload = ListGetAt(position, list);
    if (payload == nullptr) return false;
    auto* transfer = static_cast<YatXferObject*>(payload);
    if (transfer->selfTag != SelfTag(transfer) || !wanted(*transfer)) continue;
    *ref = YatXferRef{transfer, transfer->board, transfer->acqChannel};
    return true;
  }
}

}  // namespace

void* XferAllocateBlock(const YatXferOwner& owner, std::size_t size) {
  YatProcessTableLock lock(owner.manager);
  YatBlockList* list = SlotList(owner.manager, owner.slot);
  const std::int32_t position = BlockListAllocate(size, list);
  return position == kYatNoBlock ? nullptr : ListGetAt(position, list);
}

std::uint32_t XferCallerSlot(YatManagerExtension* manager) {
  return FindProcessSlot(manager, static_cast<std::uint64_t>(current_process_id()));
}

// A handle is trusted only as a block of the slot's own list that carries
// the tag of a transfer object.
YatXferObject* XferFromHandle(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t handle) {
  auto* transfer = reinterpret_cast<YatXferObject*>(handle);
  if (SlotList(manager, slot) == nullptr || handle == 0 || !Listed(manager, slot, transfer)) return nullptr;
  return transfer;
}

YatXferObject* XferCreate(YatManagerExtension* manager, std::uint32_t slot, YatBoardExtension* board,
                          std::uint32_t acqChannel) {
  YatProcessTableLock lock(manager);
  YatBlockList* list = SlotList(manager, slot);
  const std::int32_t position = BlockListAllocate(sizeof(YatXferObject), list);
  if (position == kYatNoBlock) return nullptr;
  auto* transfer = static_cast<YatXferObject*>(ListGetAt(position, list));
  transfer->board = board;
  transfer->acqChannel = acqChannel;
  transfer->selfTag = SelfTag(transfer);
  return transfer;
}

bool XferLookup(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t handle, YatXferRef* ref) {
  YatProcessTableLock lock(manager);
  YatXferObject* transfer = XferFromHandle(manager, slot, handle);
  if (transfer == nullptr) return false;
  *ref = YatXferRef{transfer, transfer->board, transfer->acqChannel};
  return true;
}

bool XferStillListed(YatManagerExtension* manager, std::uint32_t slot, const YatXferRef& ref) {
  YatProcessTableLock lock(manager);
  return Listed(manager, slot, ref.transfer) && ref.transfer->board == ref.board &&
         ref.transfer->acqChannel == ref.acqChannel;
}

QelHwStatus FreeALXfer(YatManagerExtension* manager, YatXferObject* transfer, YatBlockList* blocks) {
  YatBoardExtension* board = transfer->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  TraceFree(manager, "%s: >FreeALXfer< Free %d buffer", transfer->al.dmaInfoCount);
  AbortALXfer(manager, transfer);
  board->alChannelMask[transfer->acqChannel % kYatChannels] = 0;
  ClearChannelBlocks(board, transfer->al, 0x7000);
  ReleasePart(board, blocks, &transfer->al, false);
  return QELHW_OK;
}

QelHwStatus FreeLBXfer(YatManagerExtension* manager, YatXferObject* transfer, YatBlockList* blocks) {
  YatBoardExtension* board = transfer->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  TraceFree(manager, "%s: >FreeLBXfer< Free %d buffer", transfer->lb.dmaInfoCount);
  ClearChannelBlocks(board, transfer->lb, 0x7800);
  ReleasePart(board, blocks, &transfer->lb, false);
  return QELHW_OK;
}

QelHwStatus FreeBHXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t slot,
                       YatBlockList* blocks) {
  YatBoardExtension* board = transfer->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  TraceFree(manager, "%s: >FreeBHXfer< Free %d buffer", transfer->bh.dmaInfoCount);
  XferMutex held(board, transfer->acqChannel);
  AbortLBXfer(manager, transfer);
  ClearChannelBlocks(board, transfer->bh, 0x16000);
  ReleasePart(board, blocks, &transfer->bh, true);
  FreePageForPCI(board, &transfer->hostChain);
  transfer->started = 0;
  transfer->bhInUse = 0;
  const YatChannelFieldState& fields = YatBoardRouting(board)->fields[transfer->acqChannel % kYatChannels];
  if (fields.notificationMode == 1 && fields.notificationMask != 0)
    RouteEvent(board, transfer->acqChannel, fields.notificationMask, slot, kYatRouteKernel, false);
  return QELHW_OK;
}

bool XferDestroyListed(YatManagerExtension* manager, std::uint32_t slot, const YatXferRef& ref) {
  if (ref.board == nullptr) return false;
  XferMutex held(ref.board, ref.acqChannel);
  YatBlockList blocks{};
  {
    YatProcessTableLock lock(manager);
    if (!Listed(manager, slot, ref.transfer) || ref.transfer->board != ref.board ||
        ref.transfer->acqChannel != ref.acqChannel)
      return false;
    TakeOutBlocks(manager, slot, ref.transfer, &blocks);
  }
  FreeBHXfer(manager, ref.transfer, slot, &blocks);
  FreeALXfer(manager, ref.transfer, &blocks);
  FreeLBXfer(manager, ref.transfer, &blocks);
  ref.transfer->selfTag = 0;
  ListFree(&blocks);
  return true;
}

void DestroySlotTransfers(YatManagerExtension* manager, std::uint32_t slot) {
  if (SlotList(manager, slot) == nullptr) return;
  std::uint32_t waitedMs = 0;
  for (;;) {
    YatXferRef ref;
    {
      YatProcessTableLock lock(manager);
      if (!FirstTransfer(manager, slot, [](const YatXferObject&) { return true; }, &ref)) return;
    }
    if (YatPinBoard(manager, ref.board)) {
      XferDestroyListed(manager, slot, ref);
      YatUnpinBoard(ref.board);
      continue;
    }
    // The board is leaving: its removal ends this transfer.
    if (waitedMs >= kRemovalWaitMs) {
      STAVRO_LOG(kLogError, "%s: >DestroySlotTransfers< transfer of a removed board dropped");
      YatProcessTableLock lock(manager);
      YatBlockList blocks{};
      TakeOutBlocks(manager, slot, ref.transfer, &blocks);
      ListFree(&blocks);
      continue;
    }
    delay_execution(relative_milliseconds(1));
    ++waitedMs;
  }
}

void DestroyBoardTransfers(YatBoardExtension* board) {
  YatManagerExtension* manager = board ? ManagerOf(board->managerDevice) : nullptr;
  if (manager == nullptr) return;
  for (std::uint32_t slot = 0; slot < kYatProcessSlots; ++slot) {
    for (;;) {
      YatXferRef ref;
      {
        YatProcessTableLock lock(manager);
        if (!FirstTransfer(manager, slot, [board](const YatXferObject& t) { return t.board == board; }, &ref)) break;
      }
      XferDestroyListed(manager, slot, ref);
    }
  }
}
