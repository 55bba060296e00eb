// Arming: the board library builds the three stages of each slot in use from
// the acquisition elements and the host elements, then the host buffer index
// starts at 0 and the host DMA is armed. A destination added to a connected
// transfer moves the host buffer index to its buffer.
#include "driver/user/Pardow.h"
#include "driver/user/YatTransfer.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatStages.h"

namespace {

constexpr std::uint32_t kXferInsertFlags = 0x3;  // the flat-field coefficients lead the frame's lines
constexpr std::uint32_t kXferCameraInsertFlag = 0x2000;  // an onboard buffer leads the frame

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
  if ((slot.main.flagWord & kXferInsertFlags) != 0) {
    slot.desc.insertListA = reinterpret_cast<std::uintptr_t>(slot.inserts.listA);
    slot.desc.insertListB = reinterpret_cast<std::uintptr_t>(slot.inserts.listB);
  }
  if ((slot.main.flagWord & kXferCameraInsertFlag) != 0)
    slot.desc.cameraInsertList = reinterpret_cast<std::uintptr_t>(slot.cameraInserts.list);
  const std::uint32_t board_ = XferYatBoardOf(xfer);
  QelHwStatus status = Yat_Transfer_Init(board_, &slot.desc, &slot.transfer, 0);
  if (status == QELHW_OK) status = InitHostIndex(slot, slot.main);
  for (std::uint32_t f = 0; status == QELHW_OK && f < slot.furtherCount && f < kXferFurtherStages; ++f)
    status = InitHostIndex(slot, slot.further[f]);
  if (status != QELHW_OK) return TranslateStatus(status);
  XferYatLinkHostStates(slot.main, true);
  for (XferHostStage& further : slot.further) XferYatLinkHostStates(further, true);
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

namespace {

// The host stage of a slot that serves a group, null when none does.
XferHostStage* StageOf(XferBoardSlot& slot, const XferDestinationGroup* group) {
  if (slot.main.group == group) return &slot.main;
  for (XferHostStage& further : slot.further)
    if (further.group == group) return &further;
  return nullptr;
}

std::uint32_t PositionOf(const XferDestinationGroup& group, const XferPair* pair) {
  std::uint32_t index = 0;
  for (const XferPair* at = group.first; at != nullptr && at != pair; at = at->next) ++index;
  return index;
}

}  // namespace

// The next buffer the board fills is the pair's: its position in the chain
// becomes the stage's host buffer index, armed again on a connected transfer.
QelStatus XferYatAddDestination(XferObject* xfer, XferDestinationGroup* group, XferSource* source, XferPair* pair,
                                std::uint32_t, std::uint32_t) {
  if (!HandleIsBuffer(&pair->destination)) return QEL_OK;
  XferRecord& record = *xfer->record;
  XferAcqDevice device{};
  const std::uint32_t n =
      XferAcqDeviceOf(XferSourceHandleOf(source), &device) == QEL_OK ? device.connector : 0;
  XferBoardSlot& slot = record.board.slots[n];
  XferHostStage* stage = StageOf(slot, group);
  if (stage != nullptr) stage->hardwareIndex = 0;
  if ((record.board.runningSlots & (1u << n)) != 0) {
    record.statusWord = 84;  // a running slot keeps its order
    return QEL_OK;
  }
  if (pair->backEnd == nullptr) {
    record.statusWord = 1078;
    return QEL_OK;
  }
  const std::uint32_t index = PositionOf(*group, pair);
  pair->backEnd->hardwareIndex = index;
  if (stage == nullptr) return QEL_OK;
  stage->hardwareIndex = index;
  if (record.connected == 0 || stage->elements == nullptr) return QEL_OK;
  stage->stateWord = index;  // a start that re-arms begins there too
  QelHwStatus status = Yat_Transfer_InitHostBufferIndex(&slot.transfer, index, stage->channel);
  if (status == QELHW_OK) status = Yat_DMA_StartAutoTransfer(&slot.transfer);
  if (status != QELHW_OK) record.statusWord = 1589;
  return QEL_OK;
}
