// The common form of the library's manager requests: preset the status word,
// send, read a failed or empty answer as -3001, translate a driver status.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"
#include "driver/user/YatDeviceIoControl.h"

// How a nonzero driver status is reported to the caller.
enum class YatTranslate { kGeneric, kMemory, kPassThrough, kNamed };

struct YatRequest {
  const char* name;       // operation name of the log lines
  std::uint32_t board;
  std::uint32_t code;
  std::uint32_t flags;    // YAT_IOC_STAMP_BOARD or YAT_IOC_SEND_AS_IS
};

// Sends `input` and fills `output` (status word first). On a failed send or an
// empty answer logs "<name> Failed %x %x" and sets *status to -3001, returning
// false; otherwise *status holds the driver's status word.
bool YatSendRequest(const YatRequest& request, void* input, std::uint32_t inputSize, void* output,
                    std::uint32_t outputSize, QelHwStatus* status);

// 0 stays 0; another status is logged as "<name> status %x" and becomes
// 0xC0000000 (generic), -2002 (memory), itself (pass-through) or `named`.
QelHwStatus YatTranslateStatus(const char* name, QelHwStatus status, YatTranslate kind,
                               QelHwStatus named = QELHW_OK);

// Logs "<label>, Board <board>, <name> ARGUMENT INVALID" and answers -3.
QelHwStatus YatArgumentInvalid(const char* name, std::uint32_t board);

template <class In, class Out>
bool YatSend(const YatRequest& request, In* input, Out* output, QelHwStatus* status) {
  return YatSendRequest(request, input, sizeof(In), output, sizeof(Out), status);
}
