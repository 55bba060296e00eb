// The machine log: one file, "<machine>/qel.log", shared by the log library of
// user-mode processes and the kernel host's log driver. One entry is one line:
//   L<level> <module label> <source file>:<line> <text>
// (" - " in place of the location when an entry has no source file), written
// with a single append so that lines of concurrent writers never interleave.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat::support {

// Full path of the machine's log file; empty when no machine is set.
std::string machine_log_path();

// Appends one entry. `module_label` and `source_file` may be null or empty
// ("?" and "-" are written for them). Line breaks inside the text become
// spaces and trailing ones are dropped, so an entry never spans two lines.
// False when the log cannot be written.
bool append_log_line(std::uint32_t level, const char* module_label, const char* source_file,
                     std::uint32_t line, std::string_view text);

// The line append_log_line writes for an entry, without the line break.
std::string format_log_line(std::uint32_t level, const char* module_label,
                            const char* source_file, std::uint32_t line, std::string_view text);

// Everything logged on this machine so far (empty when nothing was).
std::string read_machine_log();

}  // namespace plat::support
