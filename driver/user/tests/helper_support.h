// Shared pieces of the library's test helper programs: each is a process that
// loads the board library and answers one line per command line it reads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace helper {

// The next word of a command as a number (decimal, or hexadecimal after "0x"); 0 when missing.
inline std::uint32_t Number(std::istringstream& in) {
  std::string text;
  in >> text;
  return static_cast<std::uint32_t>(std::stoul(text.empty() ? "0" : text, nullptr, 0));
}

inline std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Says "ready", then answers each line with run(line) until "exit" or the end
// of input; at_exit (when given) runs before the process ends.
inline int Serve(std::string (*run)(const std::string& line), void (*at_exit)() = nullptr) {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "exit") break;
    std::printf("%s\n", run(line).c_str());
    std::fflush(stdout);
  }
  if (at_exit != nullptr) at_exit();
  return 0;
}

}  // namespace helper
