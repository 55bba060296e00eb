#include "platform/win/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/win/machine.h"
#include "platform/win/registry_file.h"

namespace plat {
namespace {

std::string sink_path() { return machine_path("debug-output.log"); }

}  // namespace

void output_debug_string(const char* text) {
  if (!text || !*text || machine_dir().empty()) return;
  int fd = ::open(sink_path().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write per text: appends of other writers land before or after it,
  // never inside it.
  const std::size_t length = std::strlen(text);
  ssize_t written;
  do {
    written = ::write(fd, text, length);
  } while (written < 0 && errno == EINTR);
  ::close(fd);
}

std::string read_debug_output() {
  std::string contents;
  if (machine_dir().empty()) return contents;
  read_whole_file(sink_path(), contents);
  return contents;
}

}  // namespace plat
