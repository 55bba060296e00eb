#include "platform/support/machine_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/win/machine.h"

namespace plat::support {
namespace {

constexpr const char* kLogFileName = "qel.log";
// A runaway text must not turn one entry into megabytes of log.
constexpr std::size_t kMaxTextLength = 4000;

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

std::string_view without_trailing_breaks(std::string_view text) {
  while (!text.empty() && is_line_break(text.back())) text.remove_suffix(1);
  return text;
}

bool write_all(int fd, const std::string& bytes) {
  // O_APPEND puts the whole buffer at the end in one step; a partial write
  // only happens when the disk is full, and then the entry is lost anyway.
  ssize_t written;
  do {
    written = ::write(fd, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  return written == static_cast<ssize_t>(bytes.size());
}

}  // namespace

std::string machine_log_path() {
  if (plat::machine_dir().empty()) return {};
  return plat::machine_path(kLogFileName);
}

std::string format_log_line(std::uint32_t level, const char* module_label,
                            const char* source_file, std::uint32_t line, std::string_view text) {
  std::string out = "L" + std::to_string(level) + ' ';
  out += (module_label && *module_label) ? module_label : "?";
  out += ' ';
  if (source_file && *source_file) {
    out += source_file;
    out += ':';
    out += std::to_string(line);
  } else {
    out += '-';
  }
  out += ' ';
  text = without_trailing_breaks(text);
  if (text.size() > kMaxTextLength) text = text.substr(0, kMaxTextLength);
  for (char c : text) out += is_line_break(c) ? ' ' : c;
  return out;
}

bool append_log_line(std::uint32_t level, const char* module_label, const char* source_file,
                     std::uint32_t line, std::string_view text) {
  const std::string path = machine_log_path();
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string entry = format_log_line(level, module_label, source_file, line, text);
  entry += '\n';
  const bool ok = write_all(fd, entry);
  ::close(fd);
  return ok;
}

std::string read_machine_log() {
  const std::string path = machine_log_path();
  if (path.empty()) return {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string contents;
  char chunk[8192];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    contents.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return contents;
}

}  // namespace plat::support
