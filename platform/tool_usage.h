// The command line of the platform's tools, which take no arguments: "--help"
// (or "-h") prints the usage, anything else is refused with it.
#pragma once

#include <cstdio>
#include <string_view>

namespace plat {

// -1 when the tool runs; otherwise the exit code (0 after the usage was asked for, 2).
inline int answer_tool_usage(int argc, char** argv, const char* usage) {
  if (argc < 2) return -1;
  const std::string_view first = argv[1];
  const bool help = first == "--help" || first == "-h";
  std::fputs(usage, help ? stdout : stderr);
  return help ? 0 : 2;
}

}  // namespace plat
