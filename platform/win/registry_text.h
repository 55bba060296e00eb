// The registry file's text: one bracketed line per key ("[HKEY_LOCAL_MACHINE\A\B]")
// followed by its values, one a line:
//   @="text"                 default value (a string)
//   "Name"=dword:0000002a    DWORD
//   "Name"="text"            string;  "Name"=expand:"%X%\y"  expandable string
//   "Name"=multi:"a","b"     multi-string
//   "Name"=hex:01,02         binary;  "Name"=hex(N):..  any other type N (hex)
// Strings escape \\, \" and control bytes (\xHH). Lines starting with ';' are
// comments. Unreadable lines are skipped.
#pragma once

#include <string>
#include <string_view>

#include "platform/win/registry_tree.h"

namespace plat {

std::string format_registry(const RegistryTree& tree);
void parse_registry(std::string_view text, RegistryTree& tree);

}  // namespace plat
