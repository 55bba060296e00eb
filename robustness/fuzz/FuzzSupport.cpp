#include "robustness/fuzz/FuzzSupport.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

namespace fuzz_support {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzzer: %s\n", what.c_str());
  std::abort();
}

bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

const std::string& Machine() {
  static const std::string* dir = [] {
    char name[] = "/tmp/qel-fuzz-machine-XXXXXX";
    if (::mkdtemp(name) == nullptr) Fail("no machine directory");
    ::setenv("PLAT_MACHINE", name, 1);
    auto* path = new std::string(name);
    std::atexit([] { std::filesystem::remove_all(Machine()); });
    return path;
  }();
  return *dir;
}

std::string WriteMachineFile(const std::string& name, std::span<const std::uint8_t> bytes) {
  const std::string path = Machine() + "/" + name;
  if (!WriteFile(path, bytes)) Fail("cannot write " + path);
  return path;
}

void WriteSeedsIfAsked(std::vector<SeedFile> (*make)()) {
  const char* folder = std::getenv("QEL_FUZZ_WRITE_SEEDS");
  if (folder == nullptr) return;
  bool ok = true;
  for (const SeedFile& seed : make()) ok = WriteFile(std::string(folder) + "/" + seed.name, seed.bytes) && ok;
  std::exit(ok ? 0 : 1);
}

}  // namespace fuzz_support
