#include "platform/board/board_log.h"

#include <string>

#include "platform/support/machine_log.h"

namespace plat::board {

void board_log(std::uint32_t level, std::string_view text, const char* file, int line) {
  const std::string path = file;
  const std::string name = path.substr(path.find_last_of('/') + 1);
  plat::support::append_log_line(level, "board", name.c_str(), line, text);
}

}  // namespace plat::board
