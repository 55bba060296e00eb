// Transfer handles: a kernel transfer object plus the host DMA group that
// moves its frames, both owned by the handle from create to release.
#include <array>
#include <cstring>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatRequestForm.h"
#include "driver/user/YatTransfer.h"
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
