// The log driver's interface, handed to other drivers by the internal
// device-control request kQelLogGetInterface sent to "\Device\QELLOG".
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::kernel {

inline constexpr std::uint32_t kQelLogGetInterface = 0x22200C;
inline constexpr wchar_t kQelLogDeviceName[] = L"\\Device\\QELLOG";

// Levels: 0 errors, 1 warnings, 2 notices, 3 traces. The text is one line.
using QelLogEntryPoint = void (*)(std::uint32_t level, const char* source_file, std::uint32_t line,
                                  const char* text);

struct QelLogInterface {
  std::uint64_t reserved;
  QelLogEntryPoint log;
};
static_assert(sizeof(QelLogInterface) == 16);
static_assert(offsetof(QelLogInterface, log) == 8);

}  // namespace plat::kernel
