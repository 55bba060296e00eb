// Freeing a transfer: its channels stopped and cleared, its descriptor and
// buffer-list memory returned, its state-word mappings undone, and every
// host-buffer lock it took released exactly once.
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

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagArrays = StavroPoolTag('X');
constexpr std::uint32_t kBlockWords = 16;

YatBlockList* SlotList(YatManagerExtension* manager, std::uint32_t slot) {
  return slot < kYatProcessSlots ? &manager->processRecords[slot].transferList : nullptr;
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

// Frees the part's channel infos, information blocks and list, and zeroes it.
void ReleasePart(YatBoardExtension* board, YatBlockList* list, YatXferPart* part, bool bh) {
  FreePageForPCI(board, &part->bufferList);
  for (std::uint32_t i = 0; i < part->dmaInfoCount; ++i) {
    void* info = part->dmaInfos[i];
    if (bh) {
      auto* block = static_cast<YatBhDmaInfo*>(info);
      if (block->ownsMapping) UnmapBuffer(block->mappedUser);
      DmaFreeResult(board, block->result);
      if (block->locked) {
        block->locked = 0;
        if (!plat::nt_success(QelMemScatterGatherUnlockEx(&block->lock)) && board != nullptr) {
          YatManagerExtension* manager = ManagerOf(board->managerDevice);
          if (manager != nullptr && (manager->traceFlags & kTraceChannels) != 0)
            STAVRO_LOG(kLogError, "%s: >QelMemScatterGatherUnlockEx< ");
        }
      }
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

bool IsBoardOf(YatManagerExtension* manager, const YatBoardExtension* board) {
  if (board == nullptr) return false;
  for (plat::kernel::DeviceObject* device : manager->boardSlots)
    if (device != nullptr && BoardOf(device) == board) return true;
  return false;
}

}  // namespace

std::uint32_t XferCallerSlot(YatManagerExtension* manager) {
  return FindProcessSlot(manager, static_cast<std::uint64_t>(current_process_id()));
}

// A handle is trusted only as a block of the caller's own list whose first
// word names one of the driver's boards (the transfer's other blocks never do).
YatXferObject* XferFromHandle(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t handle) {
  YatBlockList* list = SlotList(manager, slot);
  auto* payload = reinterpret_cast<const void*>(handle);
  if (list == nullptr || handle == 0 || BlockListCheckHandle(payload, list) == kYatNoBlock) return nullptr;
  auto* transfer = reinterpret_cast<YatXferObject*>(handle);
  return IsBoardOf(manager, transfer->board) ? transfer : nullptr;
}

QelHwStatus FreeALXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t slot) {
  YatBoardExtension* board = transfer->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  TraceFree(manager, "%s: >FreeALXfer< Free %d buffer", transfer->al.dmaInfoCount);
  AbortALXfer(manager, transfer);
  board->alChannelMask[transfer->acqChannel % kYatChannels] = 0;
  ClearChannelBlocks(board, transfer->al, 0x7000);
  ReleasePart(board, SlotList(manager, slot), &transfer->al, false);
  return QELHW_OK;
}

QelHwStatus FreeLBXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t slot) {
  YatBoardExtension* board = transfer->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  TraceFree(manager, "%s: >FreeLBXfer< Free %d buffer", transfer->lb.dmaInfoCount);
  ClearChannelBlocks(board, transfer->lb, 0x7800);
  ReleasePart(board, SlotList(manager, slot), &transfer->lb, false);
  return QELHW_OK;
}

QelHwStatus FreeBHXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t slot) {
  YatBoardExtension* board = transfer->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  TraceFree(manager, "%s: >FreeBHXfer< Free %d buffer", transfer->bh.dmaInfoCount);
  XferMutex held(board, transfer->acqChannel);
  AbortLBXfer(manager, transfer);
  ClearChannelBlocks(board, transfer->bh, 0x16000);
  ReleasePart(board, SlotList(manager, slot), &transfer->bh, true);
  FreePageForPCI(board, &transfer->hostChain);
  transfer->started = 0;
  transfer->bhInUse = 0;
  const YatChannelFieldState& fields = YatBoardRouting(board)->fields[transfer->acqChannel % kYatChannels];
  if (fields.notificationMode == 1 && fields.notificationMask != 0)
    RouteEvent(board, transfer->acqChannel, fields.notificationMask, slot, kYatRouteKernel, false);
  return QELHW_OK;
}

void DestroyXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t slot) {
  FreeBHXfer(manager, transfer, slot);
  FreeALXfer(manager, transfer, slot);
  FreeLBXfer(manager, transfer, slot);
  FreeBlock(SlotList(manager, slot), transfer);
}

void DestroySlotTransfers(YatManagerExtension* manager, std::uint32_t slot) {
  YatBlockList* list = SlotList(manager, slot);
  if (list == nullptr) return;
  for (bool found = true; found;) {
    found = false;
    for (std::int32_t position = 0;; ++position) {
      void* payload = ListGetAt(position, list);
      if (payload == nullptr) break;
      auto* transfer = static_cast<YatXferObject*>(payload);
      if (!IsBoardOf(manager, transfer->board)) continue;
      DestroyXfer(manager, transfer, slot);
      found = true;
      break;
    }
  }
}
