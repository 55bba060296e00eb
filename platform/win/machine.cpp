#include "platform/win/machine.h"

#include <cstdlib>

namespace plat {

std::string machine_dir() {
  const char* dir = std::getenv("PLAT_MACHINE");
  return dir ? std::string(dir) : std::string();
}

std::string machine_path(std::string_view relative) {
  std::string path = machine_dir();
  path += '/';
  path += relative;
  return path;
}

std::string system_dir() { return machine_path("system"); }

}  // namespace plat
