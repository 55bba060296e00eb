#include "platform/kernel/kernel_log.h"

#include <cstdarg>
#include <cstdio>

#include "platform/support/machine_log.h"

namespace plat::kernel {

void kernel_log_line(std::uint32_t level, const char* module, const char* source, std::uint32_t line,
                     const char* text) {
  plat::support::append_log_line(level, module, source, line, text ? text : "");
}

void host_log(std::uint32_t level, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  plat::support::append_log_line(level, "kernel-host", nullptr, 0, text);
}

}  // namespace plat::kernel
