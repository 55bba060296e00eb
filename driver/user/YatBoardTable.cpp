// Read access to the shared board table.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "platform/win/environment.h"
#include "qellib/QelLog.h"

namespace {

// A test switch: a version named in this process's environment replaces the
// library's own, so that a caller's refusal of an incompatible library can be
// exercised on a machine where every part is compatible.
constexpr const char* kTestAbiVariable = "YATFOLVA4X_TEST_DRIVER_ABI";

std::uint32_t ReportedAbiVersion() {
  char value[16] = {};
  const std::uint32_t length = plat::get_environment_variable(kTestAbiVariable, value, sizeof value);
  if (length == 0 || length >= sizeof value) return YAT_DRIVER_ABI_VERSION;
  char* end = nullptr;
  const unsigned long version = std::strtoul(value, &end, 10);
  return end != value && *end == '\0' ? static_cast<std::uint32_t>(version) : YAT_DRIVER_ABI_VERSION;
}

}  // namespace

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
  *version = ReportedAbiVersion();
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_GetActiveCbhHeader(std::uint32_t board, void* destination, std::uint32_t size) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || (destination == nullptr && size != 0)) return QELHW_ERROR_ARG_INVALID;
  if (size != 0)
    std::memcpy(destination, entry->activeFirmwareHeader, std::min<std::uint32_t>(size, YAT_CBH_HEADER_SIZE));
  return QELHW_OK;
}
