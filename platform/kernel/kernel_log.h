// Lines of the kernel host into the machine log: those of drivers (through the
// log driver) and the host's own.
#pragma once

#include <cstdint>

namespace plat::kernel {

void kernel_log_line(std::uint32_t level, const char* module, const char* source, std::uint32_t line,
                     const char* text);
// The host's own lines (module "kernel-host"), printf-formatted.
void host_log(std::uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace plat::kernel
