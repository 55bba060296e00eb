// Requests on a transfer's kernel object: thin wrappers that check the handle,
// fill the record and pass the driver's answer on unchanged.
#include "driver/user/YatLibrary.h"
#include "driver/user/YatRequestForm.h"
#include "driver/user/YatTransfer.h"
#include "qellib/QelLog.h"

namespace {

void Log(const char* token, std::uint32_t board, const char* condition) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s %s", kPardowLabel, static_cast<int>(board), token,
            condition);
}

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// The checks shared by every request but create and the cycle mode.
QelHwStatus CheckHandle(const char* token, const YatTransferHandle* handle) {
  if (handle == nullptr) {
    Log(token, 0, "HANDLE NULL");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (handle->board >= YAT_MAX_BOARD || handle->kernelHandle == 0) {
    Log(token, handle->board, "ARGUMENT INVALID");
    return QELHW_ERROR_ARG_INVALID;
  }
  return QELHW_OK;
}

template <class In, class Out>
QelHwStatus Send(const char* token, std::uint32_t board, std::uint32_t code, In* in, Out* out) {
  QelHwStatus status = QELHW_OK;
  if (!YatSend({token, board, code, YAT_IOC_STAMP_BOARD}, in, out, &status)) return status;
  if (status != QELHW_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s status %x", kPardowLabel, static_cast<int>(board),
              token, static_cast<unsigned>(status));
  return status;
}

QelHwStatus Command(const char* token, std::uint32_t code, YatTransferHandle* handle) {
  if (const QelHwStatus refused = CheckHandle(token, handle); refused != QELHW_OK) return refused;
  YatXferCommandRecord in{{}, handle->kernelHandle};
  YatIocStatus out{};
  return Send(token, handle->board, code, &in, &out);
}

template <class Element>
QelHwStatus SetLocalList(const char* token, std::uint32_t code, YatTransferHandle* handle, std::uint32_t count,
                         Element* elements) {
  if (const QelHwStatus refused = CheckHandle(token, handle); refused != QELHW_OK) return refused;
  if (count == 0) {
    Log(token, handle->board, "ARGUMENT INVALID");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (elements == nullptr) {
    Log(token, handle->board, "ARGUMENT 3 NULL");
    return QELHW_ERROR_ARG_INVALID;
  }
  YatDmaXferRecord in{{}, handle->kernelHandle, count, Address(elements)};
  YatIocStatus out{};
  return Send(token, handle->board, code, &in, &out);
}

}  // namespace

PARDOW_API QelHwStatus Yat_DMA_Create_Xfer(YatTransferHandle* handle) {
  constexpr const char* kToken = "Yat_DMA_Create_Xfer";
  if (handle == nullptr) {
    Log(kToken, 0, "HANDLE NULL");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (handle->board >= YAT_MAX_BOARD) {
    Log(kToken, handle->board, "ARGUMENT INVALID");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (handle->kernelHandle != 0) {
    Log(kToken, handle->board, "ERROR RESOURCE IN USE ");
    return QELHW_ERROR_RESOURCE_IN_USE;
  }
  YatCreateXferRecord in{{}, handle->camera};
  YatCreateXferOut out{};
  const QelHwStatus status = Send(kToken, handle->board, YAT_IOCTRL_CREATE_XFER, &in, &out);
  if (status == QELHW_OK) handle->kernelHandle = out.handle;
  return status;
}

PARDOW_API QelHwStatus Yat_DMA_Destroy_Xfer(YatTransferHandle* handle) {
  constexpr const char* kToken = "Yat_DMA_Destroy_Xfer";
  if (const QelHwStatus refused = CheckHandle(kToken, handle); refused != QELHW_OK) return refused;
  YatDestroyXferRecord in{{}, handle->kernelHandle, {}, 0};
  for (const YatTransferChannelSlot& slot : handle->slots)
    if (slot.hostBufferList != 0) in.lists[in.listCount++] = slot.hostBufferList;
  YatIocStatus out{};
  return Send(kToken, handle->board, YAT_IOCTRL_DESTROY_XFER, &in, &out);
}

PARDOW_API QelHwStatus Yat_DMA_Set_AL_Xfer(YatTransferHandle* handle, std::uint32_t count, YatAlElement* elements) {
  return SetLocalList("Yat_DMA_Set_AL_Xfer", YAT_IOCTRL_SET_AL_XFERS, handle, count, elements);
}

PARDOW_API QelHwStatus Yat_DMA_Set_LB_Xfer(YatTransferHandle* handle, std::uint32_t count, YatLbElement* elements) {
  return SetLocalList("Yat_DMA_Set_LB_Xfer", YAT_IOCTRL_SET_LB_XFERS, handle, count, elements);
}

PARDOW_API QelHwStatus Yat_DMA_Set_BH_Xfer(YatTransferHandle* handle, YatBhHeader* header, std::uint32_t count,
                                           YatBhElement* elements) {
  constexpr const char* kToken = "Yat_DMA_Set_BH_Xfer";
  if (const QelHwStatus refused = CheckHandle(kToken, handle); refused != QELHW_OK) return refused;
  const char* refusal = header == nullptr     ? "ARGUMENT 2 NULL"
                        : count == 0          ? "ARGUMENT INVALID"
                        : elements == nullptr ? "ARGUMENT 4 NULL"
                                              : nullptr;
  if (refusal != nullptr) {
    Log(kToken, handle->board, refusal);
    return QELHW_ERROR_ARG_INVALID;
  }
  YatBhXferRecord in{{}, handle->kernelHandle, Address(header), count, Address(elements)};
  YatIocStatus out{};
  return Send(kToken, handle->board, YAT_IOCTRL_SET_BH_XFERS, &in, &out);
}

PARDOW_API QelHwStatus Yat_DMA_StartAutoTransfer(YatTransferHandle* handle) {
  return Command("Yat_DMA_StartAuto", YAT_IOCTRL_START_AUTO_XFER, handle);
}

PARDOW_API QelHwStatus Yat_DMA_StartTransfer(YatTransferHandle* handle) {
  return Command("Yat_DMA_Start", YAT_IOCTRL_START_XFER, handle);
}

PARDOW_API QelHwStatus Yat_DMA_StopTransfer(YatTransferHandle* handle) {
  return Command("Yat_DMA_Stop", YAT_IOCTRL_STOP_XFER, handle);
}

PARDOW_API QelHwStatus Yat_DMA_AbortTransfer(YatTransferHandle* handle) {
  return Command("Yat_DMA_Abort", YAT_IOCTRL_ABORT_XFER, handle);
}

// The server driver sets the mode of a connected transfer without the
// handle checks; a null handle is still refused so that it cannot crash.
PARDOW_API QelHwStatus Yat_DMA_SetCycleMode(YatTransferHandle* handle, std::uint32_t mode) {
  constexpr const char* kToken = "Yat_DMA_SetCycleMode";
  if (handle == nullptr) {
    Log(kToken, 0, "HANDLE NULL");
    return QELHW_ERROR_ARG_INVALID;
  }
  YatCycleModeRecord in{{}, handle->kernelHandle, mode};
  YatIocStatus out{2};  // this request's own preset
  std::uint32_t bytes = 0;
  const int sent =
      YatDeviceIoControl(handle->board, YAT_IOCTRL_SET_CYCLE_MODE_XFER, &in, sizeof in, &out, sizeof out, &bytes,
                         nullptr, YAT_IOC_STAMP_BOARD);
  if (sent == 0 || bytes == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s Failed %x %x", kPardowLabel,
              static_cast<int>(handle->board), kToken, static_cast<unsigned>(sent), bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  const QelHwStatus status = out.status;
  if (status != QELHW_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s status %x", kPardowLabel,
              static_cast<int>(handle->board), kToken, static_cast<unsigned>(status));
  return status;
}
