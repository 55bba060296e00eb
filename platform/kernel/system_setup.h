// A fresh machine gets its system directory from the build that starts it.
#pragma once

#include <string>

namespace plat::kernel {

// When the machine has no "system/" yet: creates it and links into it every
// deliverable and stand-in that sits beside program_dir's programs, and the
// kernel driver "Stavro.SYS" into its "drivers/" folder as well. False
// (with *error) when the directory cannot be made.
bool populate_system_dir(const std::string& program_dir, std::string* error);

}  // namespace plat::kernel
