// The log library stand-in: entries go to the machine log, labelled with the
// file name of the module that called.
#include "platform/support/qellog.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/support/machine_log.h"
#include "platform/win/library.h"
#include "platform/win/machine.h"
#include "platform/win/paths.h"

namespace {

std::string module_label_of(const void* caller) {
  plat::ModuleHandle module = plat::module_from_address(caller);
  if (module == nullptr) return "?";
  const std::string path = plat::module_file_name(module);
  return path.empty() ? std::string("?") : std::string(plat::path_file_name(path));
}

// Start of the longest tail of `log` made of whole lines that fits `room`
// bytes and holds at most `max_lines` lines.
std::size_t tail_start(std::string_view log, std::size_t room, std::uint32_t max_lines) {
  std::size_t start = log.size();
  for (std::uint32_t lines = 0; start > 0 && lines < max_lines; ++lines) {
    const auto previous_break = start >= 2 ? log.rfind('\n', start - 2) : std::string_view::npos;
    const std::size_t line_start = previous_break == std::string_view::npos ? 0 : previous_break + 1;
    if (log.size() - line_start > room) break;
    start = line_start;
  }
  return start;
}

int copy_tail(char* buffer, std::uint32_t size, std::uint32_t max_lines) {
  if (buffer == nullptr || size == 0) return -1;
  const std::string log = plat::support::read_machine_log();
  const std::size_t room = std::min<std::size_t>(size - 1, INT32_MAX);
  const std::size_t start = tail_start(log, room, max_lines);
  const std::size_t length = log.size() - start;
  std::memcpy(buffer, log.data() + start, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

}  // namespace

QELLOG_EXPORT int QelLogOnline(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                               std::uintptr_t, std::uintptr_t) {
  return plat::machine_dir().empty() ? 0 : 1;
}

QELLOG_EXPORT int QelLogPutLog(std::uint32_t level, const char* source, std::uint32_t line,
                               const char* text) {
  const std::string label = module_label_of(__builtin_return_address(0));
  return plat::support::append_log_line(level, label.c_str(), source, line, text ? text : "") ? 1
                                                                                              : 0;
}

QELLOG_EXPORT int QelLogPutMsg(std::uint32_t level, const char* text) {
  const std::string label = module_label_of(__builtin_return_address(0));
  return plat::support::append_log_line(level, label.c_str(), nullptr, 0, text ? text : "") ? 1
                                                                                             : 0;
}

QELLOG_EXPORT int QelLogGetLog(char* buffer, std::uint32_t size) {
  return copy_tail(buffer, size, UINT32_MAX);
}

QELLOG_EXPORT int QelLogGetLogEx(char* buffer, std::uint32_t size, std::uint32_t max_lines) {
  return copy_tail(buffer, size, max_lines);
}
