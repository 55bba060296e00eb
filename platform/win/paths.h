// Windows-style paths on the emulated machine: drive letters map to folders of
// the machine directory ("C:\x" is <machine>/drives/c/x), both separators work,
// and existing components are found case-insensitively. A native absolute path
// ("/tmp/x") is taken as it is. "\\server\share\x" maps to <machine>/unc/server/share/x,
// "\x" to drive C; a relative path is resolved against the current directory.
// "." and ".." are resolved, never climbing above a drive's root.
#pragma once

#include <string>
#include <string_view>

namespace plat {

std::string native_path(std::string_view path);

// The file-name part of a path (after the last separator of either kind).
std::string_view path_file_name(std::string_view path);

}  // namespace plat
