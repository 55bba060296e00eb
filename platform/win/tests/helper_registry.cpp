// plat-helper-registry: writes to the machine's registry, a profile file or
// the debug-output sink from a second process, printing a line per write.
//   reg <prefix> <count>      values <prefix>-<i> under HKLM\Software\Concurrent
//   reg-forever <prefix>      the same without end (to be killed)
//   ini <file> <prefix> <count>   keys <prefix>-<i> in section [Concurrent]
//   debug <prefix> <count>    texts "<prefix>:<i>\n" to the debug output
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/win/debug_output.h"
#include "platform/win/profile.h"
#include "platform/win/registry.h"

namespace {

bool write_registry_value(const std::string& name, std::uint32_t number) {
  plat::RegistryKey* key = nullptr;
  if (plat::reg_create_key(plat::RegistryRoot::kLocalMachine, "Software\\Concurrent", &key) != 0)
    return false;
  bool ok = plat::reg_set_value(key, name.c_str(), plat::kRegDword, &number, sizeof number) == 0;
  plat::reg_close_key(key);
  return ok;
}

int write_registry(const std::string& prefix, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!write_registry_value(prefix + "-" + std::to_string(i), static_cast<std::uint32_t>(i))) {
      std::printf("failed %llu\n", static_cast<unsigned long long>(i));
      return 1;
    }
    std::printf("set %llu\n", static_cast<unsigned long long>(i));
    std::fflush(stdout);
  }
  std::printf("done\n");
  return 0;
}

int write_profile(const char* file, const std::string& prefix, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string key = prefix + "-" + std::to_string(i);
    if (!plat::write_private_profile_string("Concurrent", key.c_str(), std::to_string(i).c_str(), file)) {
      std::printf("failed %llu\n", static_cast<unsigned long long>(i));
      return 1;
    }
  }
  std::printf("done\n");
  return 0;
}

int write_debug(const std::string& prefix, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i)
    plat::output_debug_string((prefix + ":" + std::to_string(i) + "\n").c_str());
  std::printf("done\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "reg" && argc == 4) return write_registry(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "reg-forever" && argc == 3)
    return write_registry(argv[2], std::numeric_limits<std::uint64_t>::max());
  if (mode == "ini" && argc == 5) return write_profile(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  if (mode == "debug" && argc == 4) return write_debug(argv[2], std::strtoull(argv[3], nullptr, 10));
  std::fprintf(stderr, "usage: plat-helper-registry reg|reg-forever|ini|debug ...\n");
  return 2;
}
