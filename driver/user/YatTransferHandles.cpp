// Transfer handles: a kernel transfer object plus the host DMA group that
// moves its frames, both owned by the handle from create to release.
#include <array>
#include <cstring>

#include "driver/user/YatCallerMemory.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardManager.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatRequestForm.h"
#include "driver/user/YatTransfer.h"
#include "driver/user/YatTransferLists.h"
#include "qellib/QelLog.h"

namespace {

std::uint32_t CameraCount(std::uint32_t board) {
  std::uint32_t count = 0;
  return Yat_Man_GetMaxCamera(board, &count) == QELHW_OK ? count : 1;
}

void FillHandle(YatTransferHandle* handle, std::uint32_t board, std::uint32_t camera,
                const std::array<std::uint32_t, YAT_TRANSFER_SLOTS>& channels) {
  std::memset(handle, 0, sizeof *handle);
  for (std::uint32_t k = 0; k < YAT_TRANSFER_SLOTS; ++k) handle->slots[k].hostDmaChannel = channels[k];
  handle->tag = YAT_TRANSFER_HANDLE_TAG;
  handle->board = board;
  handle->camera = camera;
}


constexpr std::uint32_t kBufferNotFree = 0x80000000;
constexpr std::uint32_t kStateIndirect = 1u << 28;
constexpr std::uint32_t kHostStateRead = 1;
constexpr std::uint32_t kNoCounter = 0xFFFFFFFF;

// Where the buffer's state word is: the word bound to slot A, or in indirect
// mode the first word the entry registered; 0 when the buffer has none.
std::uint64_t StateWordOf(const YatHostBufferEntry& entry, std::uint32_t descriptor) {
  const std::uint64_t bound = YatReadAddress(entry.stateSlotA);
  if (bound == 0) return 0;
  return (descriptor & kStateIndirect) != 0 ? entry.stateWords[0] : bound;
}

// Whether the hardware still holds the buffer; one without a state word is free.
bool BufferBusy(std::uint32_t board, YatHostBufferEntry* entry, std::uint32_t descriptor) {
  if (YatReadAddress(entry->stateSlotA) == 0) return false;
  if ((descriptor & kStateIndirect) != 0)
    return static_cast<std::int32_t>(Yat_Transfer_HostStateAccess(kHostStateRead, entry, 0)) < 0;
  std::uint8_t isFree = 1;
  Yat_Man_Get_HwBufferFree(board, YatReadWord(StateWordOf(*entry, descriptor)), &isFree, descriptor);
  return isFree == 0;
}

void RefreshCounter(std::uint32_t board, const YatHostBufferEntry& entry, std::uint32_t descriptor) {
  const std::uint64_t word = StateWordOf(entry, descriptor);
  if (word == 0) {
    YatWriteWord(entry.counter, kNoCounter);
    return;
  }
  std::uint32_t counter = YatReadWord(entry.counter);
  if (Yat_Man_Get_HwBufferCounter(board, YatReadWord(word), &counter, descriptor) != QELHW_ERROR_NOT_IMPLEMENTED)
    YatWriteWord(entry.counter, counter);
}

// The last state of each host buffer of the main list, written where the
// caller looks for it once the driver's state words are gone; the state
// slots lose the addresses that pointed at them.
void SettleHostBuffers(const YatTransferHandle& handle) {
  if (handle.slots[0].hostBufferList == 0) return;
  const auto* list = YatAt<const YatHostBufferList>(handle.slots[0].hostBufferList);
  // A count past what a transfer can hold is not the list the handle was made with.
  if (list->entries == 0 || list->bufferCount > YAT_MAX_HOST_BUFFERS) return;
  const bool initialized = Yat_Man_IsBoardInitialized(handle.board) != 0;
  for (std::uint32_t b = 0; b < list->bufferCount; ++b) {
    auto* entry = YatAt<YatHostBufferEntry>(list->entries + std::uint64_t{b} * sizeof(YatHostBufferEntry));
    const std::uint32_t descriptor = entry->stateDescriptor != 0 ? YatReadWord(entry->stateDescriptor) : 0;
    if (initialized) {
      if (entry->statusWord != 0 && entry->stateSlotA != 0 && entry->stateDescriptor != 0) {
        const std::uint32_t status = YatReadWord(entry->statusWord);
        const bool busy = BufferBusy(handle.board, entry, descriptor);
        YatWriteWord(entry->statusWord, busy ? status | kBufferNotFree : status & ~kBufferNotFree);
      }
      if (entry->statusWord != 0 && entry->counter != 0 && entry->stateDescriptor != 0 && entry->stateSlotA != 0)
        RefreshCounter(handle.board, *entry, descriptor);
      if (entry->stateSlotA != 0) YatWriteAddress(entry->stateSlotA, 0);
      if (entry->stateSlotB != 0) YatWriteAddress(entry->stateSlotB, 0);
    }
    if (entry->stateDescriptor != 0) YatWriteWord(entry->stateDescriptor, 0);
  }
}

}  // namespace

PARDOW_API QelHwStatus Yat_Transfer_CreateHandle(std::uint32_t board, std::uint32_t camera,
                                                 YatTransferHandle* handle) {
  if (handle == nullptr || board >= YAT_MAX_BOARD) return QELHW_ERROR_ARG_INVALID;
  if (camera >= CameraCount(board)) return QELHW_ERROR_ARG_INVALID;
  std::array<std::uint32_t, YAT_TRANSFER_SLOTS> channels{};
  if (const QelHwStatus status = Yat_DMA_AllocHostDmaNumber(board, camera, channels.data()); status != QELHW_OK)
    return status;
  FillHandle(handle, board, camera, channels);
  const QelHwStatus status = Yat_DMA_Create_Xfer(handle);
  if (status != QELHW_OK) Yat_FreeHostDmaGroup(board, channels[0], camera);
  return status;
}

// The group goes back only once the kernel object is gone, and only this
// handle's group: another handle of the same camera keeps its own.
PARDOW_API QelHwStatus Yat_Transfer_ReleaseHandle(YatTransferHandle* handle) {
  if (handle == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (handle->tag != YAT_TRANSFER_HANDLE_TAG) return QELHW_ERROR_INVALID_HANDLE;
  SettleHostBuffers(*handle);
  const QelHwStatus status = Yat_DMA_Destroy_Xfer(handle);
  if (status != QELHW_OK) return status;
  Yat_FreeHostDmaGroup(handle->board, handle->slots[0].hostDmaChannel, handle->camera);
  std::memset(handle, 0, sizeof *handle);
  return QELHW_OK;
}

PARDOW_API bool Yat_Transfer_isValidHandle(const void* handle) {
  if (handle == nullptr) return false;
  std::uint32_t tag = 0;
  std::memcpy(&tag, handle, sizeof tag);
  return tag == YAT_TRANSFER_HANDLE_TAG;
}

PARDOW_API QelHwStatus Yat_Transfer_InitHostBufferIndex(YatTransferHandle* handle, std::uint32_t index,
                                                        std::uint32_t channel) {
  if (handle == nullptr || handle->board >= YAT_MAX_BOARD)
    return YatArgumentInvalid("Yat_Transfer_InitHostBufferIndex", handle == nullptr ? 0 : handle->board);
  YatXferPositionRecord in{{}, handle->kernelHandle, YAT_DMA_TYPE_BH, channel, index};
  YatIocStatus out{};
  QelHwStatus status = QELHW_OK;
  if (!YatSend({"Yat_Transfer_InitHostBufferIndex", handle->board, YAT_IOCTRL_XFER_POSITION_XFER,
                YAT_IOC_STAMP_BOARD},
               &in, &out, &status))
    return status;
  if (status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Transfer_InitHostBufferIndex status %x",
            kPardowLabel, static_cast<int>(handle->board), static_cast<unsigned>(status));
  return QELHW_ERROR_DRIVER_STATUS;
}
