#include "driver/user/YatRequestForm.h"

#include <cstring>

#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

bool YatSendRequest(const YatRequest& request, void* input, std::uint32_t inputSize, void* output,
                    std::uint32_t outputSize, QelHwStatus* status) {
  const std::int32_t preset = YAT_IOC_STATUS_PRESET;
  std::memcpy(output, &preset, sizeof preset);
  std::uint32_t bytes = 0;
  const int sent = YatDeviceIoControl(request.board, request.code, input, inputSize, output,
                                      outputSize, &bytes, nullptr, request.flags);
  if (sent == 0 || bytes == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s Failed %x %x", kPardowLabel,
              static_cast<int>(request.board), request.name, static_cast<unsigned>(sent), bytes);
    *status = QELHW_ERROR_DRIVER_ACCESS;
    return false;
  }
  std::memcpy(status, output, sizeof *status);
  return true;
}

QelHwStatus YatTranslateStatus(const char* name, QelHwStatus status, YatTranslate kind,
                               QelHwStatus named) {
  if (status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, %s status %x", kPardowLabel, name,
            static_cast<unsigned>(status));
  switch (kind) {
    case YatTranslate::kGeneric: return QELHW_ERROR_DRIVER_STATUS;
    case YatTranslate::kMemory: return QELHW_ERROR_INSUFFICIENT_MEMORY;
    case YatTranslate::kPassThrough: return status;
    case YatTranslate::kNamed: return named;
  }
  return QELHW_ERROR_DRIVER_STATUS;
}

QelHwStatus YatArgumentInvalid(const char* name, std::uint32_t board) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s ARGUMENT INVALID", kPardowLabel,
            static_cast<int>(board), name);
  return QELHW_ERROR_ARG_INVALID;
}
