// What every fuzzer of this folder shares: a machine directory of its own for
// the whole run, files written from an input, and the seed-writing mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fuzz_support {

// Makes a fresh machine directory, names it by PLAT_MACHINE and removes it at
// exit; answers its path.
const std::string& Machine();
// Writes the bytes to <machine>/<name>, replacing it; aborts when it cannot.
std::string WriteMachineFile(const std::string& name, std::span<const std::uint8_t> bytes);

struct SeedFile {
  std::string name;
  std::vector<std::uint8_t> bytes;
};
// With QEL_FUZZ_WRITE_SEEDS=<folder> in the environment: writes the seeds made
// by `make` there and ends the process (0 when every file was written).
void WriteSeedsIfAsked(std::vector<SeedFile> (*make)());

template <typename T>
std::vector<std::uint8_t> BytesOf(const T& record) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
  return {p, p + sizeof record};
}

}  // namespace fuzz_support
