#include "driver/user/YatFpgaRequests.h"

#include <cstdio>
#include <cstring>

#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

bool YatFpgaSend(const char* name, std::uint32_t board, std::uint32_t code, void* input, std::uint32_t inputSize,
                 void* output, std::uint32_t outputSize, QelHwStatus* driver) {
  const std::int32_t preset = YAT_IOC_STATUS_PRESET;
  std::memcpy(output, &preset, sizeof preset);
  std::uint32_t bytes = 0;
  const int sent =
      YatDeviceIoControl(board, code, input, inputSize, output, outputSize, &bytes, nullptr, YAT_IOC_STAMP_BOARD);
  if (sent == 0 || bytes == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: %s Failed %x %x", kPardowLabel, name,
              static_cast<unsigned>(sent), bytes);
    *driver = QELHW_ERROR_DRIVER_ACCESS;
    return false;
  }
  std::memcpy(driver, output, sizeof *driver);
  return true;
}

QelHwStatus YatFpgaRefusal(const char* what, QelHwStatus driver) {
  if (driver == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: %s status %s ,%8x", kPardowLabel, what, "ERROR",
            static_cast<unsigned>(driver));
  return QELHW_ERROR_DRIVER_STATUS;
}

QelHwStatus YatFpgaArgumentInvalid(const char* name, std::uint32_t board) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s ARGUMENT INVALID", kPardowLabel,
            static_cast<int>(board), name);
  return QELHW_ERROR_ARG_INVALID;
}
