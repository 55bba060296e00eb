#include "firmware/win32/QelUtilTrace.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "qellib/QelLog.h"

void QelUtilTrace(const char* source_file, std::int32_t line, const char* format, ...) {
  std::array<char, 256> text{};
  va_list args;
  va_start(args, format);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  LogPutLog(kQelLogError, source_file, line, "%s", text.data());
}
