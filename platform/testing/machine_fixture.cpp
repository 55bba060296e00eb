#include "platform/testing/machine_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace plat::testing {

ScopedMachine::ScopedMachine() {
  if (const char* old = std::getenv("PLAT_MACHINE")) {
    previous_ = old;
    had_previous_ = true;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "qel-machine-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  ::setenv("PLAT_MACHINE", dir_.c_str(), 1);
}

ScopedMachine::~ScopedMachine() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
  if (had_previous_)
    ::setenv("PLAT_MACHINE", previous_.c_str(), 1);
  else
    ::unsetenv("PLAT_MACHINE");
}

std::string make_driver_directory(const ScopedMachine& machine) {
  const std::string dir = machine.path("driver");
  std::filesystem::create_directories(dir);
  write_file(dir + "/Yat_Tramond-CL_RZ6_Config.ini", "");
  ::setenv("YATFOLVA4XDIR", dir.c_str(), 1);
  return dir;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

}  // namespace plat::testing
