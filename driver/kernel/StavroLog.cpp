#include "driver/kernel/StavroLog.h"

#include <cstdarg>
#include <cstdio>

#include "driver/kernel/StavroGlobals.h"

StavroLogLink g_StavroLog{};

void KernelLogPrint(std::uint32_t level, const char* sourcePath, std::uint32_t line, const char* format,
                    ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (!g_StavroLog.bound.load() || g_StavroLog.face.log == nullptr) return;
  g_StavroLog.face.log(level, sourcePath, line, text);
}
