#include "platform/board/board_log.h"

#include <string>

#include "platform/support/machine_log.h"

namespace plat::board {

void board_log(std::uint32_t level, std::string_view text, std::source_location where) {
  const std::string path = where.file_name();
  const std::string file = path.substr(path.find_last_of('/') + 1);
  plat::support::append_log_line(level, "board", file.c_str(), where.line(), text);
}

}  // namespace plat::board
