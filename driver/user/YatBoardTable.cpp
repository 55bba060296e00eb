// Read access to the shared board table.
#include <algorithm>
#include <cstring>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

PARDOW_API QelHwStatus Yat_Man_GetInitializationError() {
  QelHw_Open();
  return Yat_GetSharedBoardInfo()->initError;
}

PARDOW_API std::uint8_t Yat_Man_IsBoardInitialized(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  return entry != nullptr && entry->initialized == 1 ? 1 : 0;
}

PARDOW_API QelHwStatus Yat_Man_GetDriverABI_Version(std::uint32_t* version) {
  if (version == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Man_GetDriverABI_Version ARGUMENT INVALID", kPardowLabel);
    return QELHW_ERROR_ARG_INVALID;
  }
  *version = YAT_DRIVER_ABI_VERSION;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_GetActiveCbhHeader(std::uint32_t board, void* destination, std::uint32_t size) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || (destination == nullptr && size != 0)) return QELHW_ERROR_ARG_INVALID;
  if (size != 0)
    std::memcpy(destination, entry->activeFirmwareHeader, std::min<std::uint32_t>(size, YAT_CBH_HEADER_SIZE));
  return QELHW_OK;
}
