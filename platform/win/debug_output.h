// The debugger-output sink: text the system writes for a debugger, kept in the
// machine directory ("debug-output.log") where tests and people read it.
#pragma once

#include <string>

namespace plat {

void output_debug_string(const char* text);
// Everything written to the sink of this machine so far.
std::string read_debug_output();

}  // namespace plat
