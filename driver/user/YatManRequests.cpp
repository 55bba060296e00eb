// Board and manager requests of section 0.
#include "driver/user/YatManRequests.h"

#include <algorithm>
#include <cstring>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRecords.h"
#include "driver/user/YatRequestForm.h"
#include "qellib/QelLog.h"

namespace {

// Register window of the board: offsets below this reach BAR 0.
constexpr std::uint32_t kRegisterWindowEnd = 0x18000;
constexpr std::uint32_t kAddressSize = 0x40000;
constexpr std::uint32_t kResetWord = 1;

YatIocHeader DriverHeader(std::uint32_t board) { return YatIocHeader{0, board}; }

}  // namespace

PARDOW_API QelHwStatus Yat_Man_GetNbBoard(std::uint32_t* count) {
  if (count == nullptr) return YatArgumentInvalid("Yat_Man_GetNbBoard", 0);
  *count = 0;
  if (!Yat_IsDeviceOpen()) return QELHW_ERROR_NO_BOARD_FOUND;
  YatIocValueOut out{};
  QelHwStatus status;
  if (!YatSendRequest({"Yat_Man_GetNbBoard", 0, YAT_IOCTRL_GET_NB_BOARD, YAT_IOC_SEND_AS_IS},
                      nullptr, 0, &out, sizeof out, &status))
    return status;
  *count = out.value;
  return YatTranslateStatus("Yat_Man_GetNbBoard", status, YatTranslate::kGeneric);
}

QelHwStatus Yat_Man_GetKernelAbiVersion(std::uint32_t* version) {
  if (version == nullptr) return YatArgumentInvalid("Yat_Man_GetKernelAbiVersion", 0);
  YatIocValueOut out{};
  QelHwStatus status;
  if (!YatSendRequest({"Yat_Man_GetKernelAbiVersion", 0, YAT_IOCTRL_GET_ABI_VERSION, YAT_IOC_SEND_AS_IS},
                      nullptr, 0, &out, sizeof out, &status))
    return status;
  *version = out.value;
  return YatTranslateStatus("Yat_Man_GetKernelAbiVersion", status, YatTranslate::kMemory);
}

PARDOW_API QelHwStatus Yat_Man_GetBaseAddress(std::uint32_t board, std::uint32_t* base) {
  if (board >= YAT_MAX_BOARD || base == nullptr) return YatArgumentInvalid("Yat_Man_GetBaseAddress", board);
  YatIocHeader in{};
  YatIocValueOut out{};
  QelHwStatus status;
  if (!YatSend({"Yat_Man_GetBaseAddress", board, YAT_IOCTRL_GET_BASE_ADDRESS, YAT_IOC_STAMP_BOARD}, &in,
               &out, &status))
    return status;
  *base = out.value;
  return YatTranslateStatus("Yat_Man_GetBaseAddress", status, YatTranslate::kGeneric);
}

PARDOW_API QelHwStatus Yat_Man_GetAddressSize(std::uint32_t board, std::uint32_t* size) {
  if (board >= YAT_MAX_BOARD || size == nullptr) return YatArgumentInvalid("Yat_Man_GetAddressSize", board);
  *size = kAddressSize;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_Reset(std::uint32_t board, std::uint32_t mode) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_Reset", board);
  // The driver resets on 1 only; every caller means a reset.
  YatIocValueIn in{{}, kResetWord};
  YatIocStatus out{};
  QelHwStatus status;
  Yat_DebugTrace("Yat_Reset:\n");
  if (!YatSend({"Yat_Man_Reset", board, YAT_IOCTRL_RESET_BOARD, YAT_IOC_STAMP_BOARD}, &in, &out, &status))
    return status;
  return YatTranslateStatus("Yat_Man_Reset", status, YatTranslate::kGeneric);
}

QelHwStatus Yat_Man_GetPciLocation(std::uint32_t board, std::uint8_t* location, std::uint32_t size) {
  if (board >= YAT_MAX_BOARD || location == nullptr) return YatArgumentInvalid("Yat_Man_GetPciLocation", board);
  YatIocHeader in{};
  YatIocPciLocationOut out{};
  QelHwStatus status;
  Yat_DebugTrace("Yat GetBusNumber Start\n");
  const bool sent = YatSend({"Yat_Man_GetPciLocation", board, YAT_IOCTRL_GET_PCI_LOCATION, YAT_IOC_STAMP_BOARD},
                            &in, &out, &status);
  Yat_DebugTrace("Yat GetBusNumber End\n");
  if (!sent) return status;
  std::memcpy(location, &out.bus, std::min<std::uint32_t>(size, 12));
  return YatTranslateStatus("Yat_Man_GetPciLocation", status, YatTranslate::kPassThrough);
}

QelHwStatus Yat_Man_SetBoardError(std::uint32_t board, QelHwStatus error) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_SetBoardError", board);
  YatIocValueIn in{{}, static_cast<std::uint32_t>(error)};
  YatIocStatus out{};
  QelHwStatus status;
  Yat_DebugTrace("Yat SetInitError Start\n");
  const bool sent =
      YatSend({"Yat_Man_SetBoardError", board, YAT_IOCTRL_SET_BOARD_ERROR, YAT_IOC_STAMP_BOARD}, &in, &out, &status);
  Yat_DebugTrace("Yat SetInitError End\n");
  if (!sent) return status;
  return YatTranslateStatus("Yat_Man_SetBoardError", status, YatTranslate::kPassThrough);
}

QelHwStatus Yat_Man_Reload(std::uint32_t board, std::uint32_t mode, std::uint32_t argument) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_Reload", board);
  YatIocReloadIn in{{}, mode, argument};
  YatIocStatus out{};
  QelHwStatus status;
  Yat_DebugTrace("Yat_Reload_Pci:\n");
  if (!YatSend({"Yat_Man_Reload", board, IOCTRL_RELOAD, YAT_IOC_STAMP_BOARD}, &in, &out, &status)) return status;
  return YatTranslateStatus("Yat_Man_Reload", status, YatTranslate::kPassThrough);
}

PARDOW_API QelHwStatus Yat_ReadData(std::uint32_t board, std::uint32_t offset, std::uint32_t* value) {
  if (board >= YAT_MAX_BOARD || value == nullptr || offset >= kRegisterWindowEnd)
    return YatArgumentInvalid("Yat_ReadData", board);
  YatIocValueIn in{{}, offset};
  YatIocValueOut out{};
  QelHwStatus status;
  if (!YatSend({"Yat_ReadData", board, YAT_IOCTRL_READ_BAR, YAT_IOC_STAMP_BOARD}, &in, &out, &status))
    return status;
  *value = out.value;
  if (status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_ReadData(%08X) status %s ,%8x", kPardowLabel, offset,
            "ERROR", static_cast<unsigned>(status));
  return QELHW_ERROR_DRIVER_STATUS;
}

PARDOW_API QelHwStatus Yat_WriteData(std::uint32_t board, std::uint32_t offset, std::uint32_t value) {
  if (board >= YAT_MAX_BOARD || offset >= kRegisterWindowEnd) return YatArgumentInvalid("Yat_WriteData", board);
  YatIocWriteBarIn in{{}, offset, value};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({"Yat_WriteData", board, YAT_IOCTRL_WRITE_BAR, YAT_IOC_STAMP_BOARD}, &in, &out, &status))
    return status;
  if (status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_WriteData(%08X) status %s ,%8x", kPardowLabel, offset,
            QelHw_GetErrorName(status), static_cast<unsigned>(status));
  return QELHW_ERROR_DRIVER_STATUS;
}

PARDOW_API QelHwStatus Yat_Man_GetProcessID(std::uint32_t* slot) {
  if (slot == nullptr) return YatArgumentInvalid("Yat_Man_GetProcessID", 0);
  YatIocHeader in = DriverHeader(0xFFFFFFFFu);
  YatIocValueOut out{};
  out.value = 0xFFFFFFFFu;
  QelHwStatus status;
  if (!YatSend({"Yat_Man_GetProcessID", 0, YAT_IOCTRL_GET_PROCESS_ID, YAT_IOC_SEND_AS_IS}, &in, &out, &status))
    return status;
  *slot = out.value;
  return YatTranslateStatus("Yat_Man_GetProcessID", status, YatTranslate::kGeneric);
}

QelHwStatus Yat_Man_InitKernelBoardManager(std::uint32_t board) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_InitKernelBoardManager", board);
  std::uint32_t cameras = 1;
  std::uint32_t megabytes = 0;
  QelHwStatus status = Yat_Man_GetMaxCamera(board, &cameras);
  if (status == QELHW_OK) status = Yat_Man_GetOnboardMemorySize(board, 0, &megabytes);
  if (status != QELHW_OK) return status;
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Board %d, Amount of On-Board Memory[%d]: %d MB", kPardowLabel,
            static_cast<int>(board), 0, static_cast<int>(megabytes));
  YatInitMemoryRecord in{};
  in.regionsPerBank[0] = cameras;
  in.bankSizeMb[0] = megabytes;
  in.bankCount = 1;
  YatIocStatus out{};
  if (!YatSend({"Yat_Man_InitKernelBoardManager", board, YAT_IOCTRL_INIT_BOARD_MANAGER, YAT_IOC_STAMP_BOARD}, &in,
               &out, &status))
    return status;
  return YatTranslateStatus("Yat_Man_InitKernelBoardManager", status, YatTranslate::kMemory);
}

QelHwStatus Yat_Man_InitResourceManager(std::uint32_t board) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_InitResourceManager", board);
  YatIocHeader in{};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({"Yat_Man_InitResourceManager", board, YAT_IOCTRL_INIT_RESOURCE_MANAGER, YAT_IOC_STAMP_BOARD}, &in,
               &out, &status))
    return status;
  return YatTranslateStatus("Yat_Man_InitResourceManager", status, YatTranslate::kMemory);
}

QelHwStatus Yat_Man_SetDriverTraceLevel(std::uint32_t level) {
  YatIocValueIn in{DriverHeader(0), level};
  YatIocStatus out{};
  std::memcpy(&out, &YAT_IOC_STATUS_PRESET, sizeof out);
  std::uint32_t bytes = 0;
  const int sent = YatDeviceIoControl(0, YAT_IOCTRL_SET_DEBUG_LEVEL, &in, sizeof in, &out, sizeof out, &bytes,
                                      nullptr, YAT_IOC_SEND_AS_IS);
  if (sent == 0 || bytes == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,Yat_LogLevel Failed %x %x", kPardowLabel,
              static_cast<unsigned>(sent), bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  if (out.status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_LogLevel status %x", kPardowLabel,
            static_cast<unsigned>(out.status));
  return QELHW_ERROR_INSUFFICIENT_MEMORY;
}
