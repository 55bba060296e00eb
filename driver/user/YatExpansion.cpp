// The expansion processing unit: registers gated by the board's present
// word, a host-transfer object through driver section 8, and its reset.
#include <chrono>
#include <cstring>
#include <thread>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatRequestForm.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kExpansionControl = 0x45C;
constexpr std::uint32_t kExpansionResetBit = 1u << 4;
constexpr std::uint32_t kExpansionLoadedBit = 1u << 20;

QelHwStatus Refuse(QelHwStatus status, const char* format, std::uint32_t board) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, static_cast<int>(board));
  return status;
}

// A failed or empty request answers -3001; otherwise the status word.
template <class In, class Out>
QelHwStatus Send(const char* name, std::uint32_t board, std::uint32_t code, In* in, Out* out) {
  QelHwStatus status = QELHW_OK;
  YatSend({name, board, code, YAT_IOC_STAMP_BOARD}, in, out, &status);
  return status;
}

bool Present(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  return entry != nullptr && entry->ipuPresent != 0;
}

}  // namespace

PARDOW_API QelHwStatus Yat_ExpIpu_IsPresent(std::uint32_t board, std::uint32_t* present) {
  if (present == nullptr) return Refuse(QELHW_ERROR_ARG_INVALID, "%s: Board %d, ExpIpu_IsPresent present is NULL", board);
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return Refuse(QELHW_ERROR_ARG_INVALID, "%s: Board %d, ExpIpu_IsPresent ARGUMENT INVALID", board);
  *present = entry->ipuPresent;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_ExpIpu_WriteDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("ExpIpu_WriteDataReg", board);
  if (!Present(board)) return QELHW_ERROR_PARAMETER_INVALID;
  YatExpIpuRegisterIn in{{}, reg, value};
  YatIocStatus out{};
  return Send("ExpIpu_WriteDataReg", board, YAT_IOCTRL_EXPIPU_WRITE_REG, &in, &out);
}

PARDOW_API QelHwStatus Yat_ExpIpu_WriteBlockIndexReg(std::uint32_t board, const YatRegisterPairs* pairs,
                                                     std::uint32_t count) {
  if (pairs == nullptr) return Refuse(QELHW_ERROR_NULL_PTR, "%s: Board %d, ExpIpu_WriteBlockIndexReg pReg is NULL", board);
  for (std::uint32_t i = 0; i < count; ++i)
    if (const QelHwStatus status = Yat_ExpIpu_WriteDataReg(board, pairs[i].reg, pairs[i].value); status != QELHW_OK)
      return status;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_ExpIpu_ReadDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t* value) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("ExpIpu_ReadDataReg", board);
  if (!Present(board)) return QELHW_ERROR_PARAMETER_INVALID;
  if (value == nullptr) return Refuse(QELHW_ERROR_NULL_PTR, "%s: Board %d, ExpIpu_ReadDataReg pData is NULL", board);
  YatExpIpuReadIn in{{}, reg};
  YatExpIpuValueOut out{};
  const QelHwStatus status = Send("ExpIpu_ReadDataReg", board, YAT_IOCTRL_EXPIPU_READ_REG, &in, &out);
  if (status == QELHW_OK) *value = out.value;
  return status;
}

PARDOW_API QelHwStatus Yat_ExpIpu_ReadBlockIndexReg(std::uint32_t board, YatRegisterPairs* pairs, std::uint32_t count) {
  if (pairs == nullptr) return QELHW_ERROR_NULL_PTR;
  for (std::uint32_t i = 0; i < count; ++i)
    if (const QelHwStatus status = Yat_ExpIpu_ReadDataReg(board, pairs[i].reg, &pairs[i].value); status != QELHW_OK)
      return status;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_ExpIpu_CreateHostTransfer(std::uint32_t board, YatTransferHandle* handle,
                                                     std::uint64_t hostBufferDescription) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("ExpIpu_CreateHostXfer", board);
  if (hostBufferDescription == 0)
    return Refuse(QELHW_ERROR_NULL_PTR, "%s: Board %d, ExpIpu_CreateHostXfer pHostBufferEx is NULL", board);
  if (handle == nullptr)
    return Refuse(QELHW_ERROR_NULL_PTR, "%s: Board %d, ExpIpu_CreateHostXfer pTransferHandle is NULL", board);
  // A failed create leaves no kernel handle behind, whatever the caller's
  // storage held before.
  std::memset(handle, 0, sizeof *handle);
  handle->tag = YAT_TRANSFER_HANDLE_TAG;
  handle->board = board;
  handle->camera = 0;
  YatExpIpuCreateIn in{{}, hostBufferDescription};
  YatExpIpuCreateOut out{};
  const QelHwStatus status = Send("ExpIpu_CreateHostXfer", board, YAT_IOCTRL_EXPIPU_CREATE_XFER, &in, &out);
  if (status == QELHW_OK) handle->kernelHandle = out.kernelHandle;
  return status;
}

PARDOW_API QelHwStatus Yat_ExpIpu_StartHostTransfer(YatTransferHandle* handle, std::uint32_t first,
                                                    std::uint32_t second) {
  if (handle == nullptr || handle->board >= YAT_MAX_BOARD)
    return YatArgumentInvalid("ExpIpu_StartHostXfer", handle == nullptr ? 0 : handle->board);
  YatExpIpuStartIn in{{}, first, handle->kernelHandle, second};
  YatIocStatus out{};
  return Send("ExpIpu_StartHostXfer", handle->board, YAT_IOCTRL_EXPIPU_START_XFER, &in, &out);
}

PARDOW_API QelHwStatus Yat_ExpIpu_StopHostTransfer(YatTransferHandle*) { return QELHW_OK; }

PARDOW_API QelHwStatus Yat_ExpIpu_DestroyHostTransfer(YatTransferHandle* handle, std::uint64_t argument) {
  if (handle == nullptr || handle->board >= YAT_MAX_BOARD)
    return YatArgumentInvalid("ExpIpu_DestroyHostXfer", handle == nullptr ? 0 : handle->board);
  YatExpIpuDestroyIn in{{}, handle->kernelHandle, argument};
  YatIocStatus out{};
  return Send("ExpIpu_DestroyHostXfer", handle->board, YAT_IOCTRL_EXPIPU_DESTROY_XFER, &in, &out);
}

PARDOW_API QelHwStatus Yat_ExpIpu_Reset(std::uint32_t board) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("ExpIpu_Reset", board);
  std::uint32_t control = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kExpansionControl, &control);
  if (status != QELHW_OK) return status;
  status = Yat_WriteDataReg(board, kExpansionControl, control | kExpansionResetBit);
  if (status != QELHW_OK) return status;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  status = Yat_WriteDataReg(board, kExpansionControl, control & ~kExpansionResetBit);
  if (status != QELHW_OK) return status;
  if ((control & kExpansionLoadedBit) == 0)
    return Refuse(QELHW_ERROR_FPGA_NOT_LOADED, "%s, board(%d), This IPU is not loaded", board);
  return QELHW_OK;
}
