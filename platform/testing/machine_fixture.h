// A fresh emulated machine for a test: a temporary machine directory named by
// PLAT_MACHINE for as long as the object lives (child processes inherit it).
#pragma once

#include <string>

namespace plat::testing {

class ScopedMachine {
 public:
  ScopedMachine();
  ~ScopedMachine();
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& relative) const { return dir_ + "/" + relative; }

 private:
  std::string dir_;
  std::string previous_;
  bool had_previous_ = false;
};

// The driver directory of a machine ("<machine>/driver") with an empty options
// file, named by YATFOLVA4XDIR for this process and the ones it starts, as the
// board library expects to find it. Answers the directory.
std::string make_driver_directory(const ScopedMachine& machine);

// Reads a whole file; empty when it does not exist.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& contents);

}  // namespace plat::testing
