// The emulated machine: one directory (PLAT_MACHINE) holds everything a real
// machine keeps outside a process.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// The machine directory named by PLAT_MACHINE. Read at each call, so a test
// may switch machines; modules that cache machine state key it on this value.
// Empty when the variable is not set.
std::string machine_dir();

// machine_dir() + "/" + relative.
std::string machine_path(std::string_view relative);

// The machine's system directory ("system/" in the machine directory), where
// deliverables and outside libraries are found by name.
std::string system_dir();

}  // namespace plat
