// Arming: the board library builds the three stages of each slot in use from
// the acquisition elements and the host elements, then the host buffer index
// starts at 0 and the host DMA is armed.
#include "driver/user/Pardow.h"
#include "driver/user/YatTransfer.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatStages.h"

namespace {

QelHwStatus InitHostIndex(XferBoardSlot& slot, XferHostStage& stage) {
  if (stage.elements == nullptr || stage.elementCount == 0) return QELHW_OK;
  const std::uint32_t channel = slot.transfer.slots[0].hostDmaChannel;
  stage.channel = channel;
  QelHwStatus status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, 0, channel);
  const std::uint32_t planes = stage.planes;
  for (std::uint32_t plane = 1; status == QELHW_OK && plane < planes; ++plane)
    status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, 0, channel + (planes == 2 ? 8 : plane));
  if (status == QELHW_OK && (stage.flagWord & 0x40) != 0) {
    status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, 0, channel + 8);
    if (status == QELHW_OK) status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, 0, channel + 9);
  }
  return status == QELHW_OK ? Yat_DMA_StartAutoTransfer(&slot.transfer) : status;
}

// A main stage without elements takes the first further stage that has some.
void PromoteFurther(XferBoardSlot& slot) {
  if (slot.main.elements != nullptr) return;
  for (XferHostStage& further : slot.further) {
    if (further.elements == nullptr) continue;
    slot.main = further;
    further = XferHostStage{};
    return;
  }
}

QelStatus ArmSlot(XferObject* xfer, std::uint32_t n) {
  XferBoardState& board = xfer->record->board;
  XferBoardSlot& slot = board.slots[n];
  InternalBufferStage& stage = board.stages[n];
  if (slot.owner == nullptr) slot.owner = xfer;
  PromoteFurther(slot);
  slot.images = YatLocalImageList{YAT_LOCAL_IMAGE_LIST_SIZE, 0, stage.elementCount,
                                  reinterpret_cast<std::uintptr_t>(stage.elements)};
  slot.desc = YatTransferDesc{};
  slot.desc.localImageList = reinterpret_cast<std::uintptr_t>(&slot.images);
  slot.desc.hostBufferList = reinterpret_cast<std::uintptr_t>(&slot.main.list);
  slot.desc.taps = 1;
  slot.desc.lastIndex = 1;
  slot.desc.camera = slot.connector;
  slot.desc.linesFactor = 1;
  slot.desc.routeWord = 1;
  const std::uint32_t board_ = XferYatBoardOf(xfer);
  QelHwStatus status = Yat_Transfer_Init(board_, &slot.desc, &slot.transfer, 0);
  if (status == QELHW_OK) status = InitHostIndex(slot, slot.main);
  for (std::uint32_t f = 0; status == QELHW_OK && f < slot.furtherCount && f < kXferFurtherStages; ++f)
    status = InitHostIndex(slot, slot.further[f]);
  if (status != QELHW_OK) return TranslateStatus(status);
  XferSlotRegistrySet(board_, n, xfer->record);
  return QEL_OK;
}

}  // namespace

QelStatus XferYatArm(XferObject* xfer) {
  for (std::uint32_t n = 0; n < kXferBoardSlots; ++n) {
    if (xfer->record->board.slots[n].inUse == 0) continue;
    if (const QelStatus status = ArmSlot(xfer, n); status != QEL_OK) return status;
  }
  return QEL_OK;
}
