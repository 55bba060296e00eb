#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"

namespace {

using plat::testing::ChildProcess;

std::unique_ptr<ChildProcess> LoadLibraryInProcess() {
  auto process = std::make_unique<ChildProcess>("quillet-helper-library", std::vector<std::string>{});
  EXPECT_EQ(process->read_line(), "ready");
  return process;
}

std::string Ask(ChildProcess& process, const std::string& line) {
  process.write_line(line);
  return process.read_line();
}

TEST(QuilletLibrary, SharedSectionIsOnePerMachineAndFreshOnceNobodyHoldsIt) {
  plat::testing::ScopedMachine machine;
  auto writer = LoadLibraryInProcess();
  auto reader = LoadLibraryInProcess();
  // Filled when the library loads: slots 6, 10 to 12, 19 and 20 stay empty.
  EXPECT_EQ(Ask(*writer, "slots"), "17");
  EXPECT_EQ(Ask(*reader, "read"), "0");
  EXPECT_EQ(Ask(*writer, "write 1234"), "ok");
  EXPECT_EQ(Ask(*reader, "read"), "1234");

  // A process that only loaded the library keeps the section alive: the
  // library itself holds it.
  auto holder = std::make_unique<ChildProcess>("quillet-helper-library", std::vector<std::string>{});
  ASSERT_EQ(holder->read_line(), "ready");
  writer->kill_hard();
  reader->write_line("exit");
  EXPECT_EQ(reader->wait(), 0);
  auto later = LoadLibraryInProcess();
  EXPECT_EQ(Ask(*later, "read"), "1234");

  // Once every holder is gone, killed or exited, the next one starts afresh.
  holder->kill_hard();
  later->write_line("exit");
  EXPECT_EQ(later->wait(), 0);
  auto fresh = LoadLibraryInProcess();
  EXPECT_EQ(Ask(*fresh, "read"), "0");
}

// The names a shared object defines in its dynamic symbol table.
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::set<std::string> names;
  if (image.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  auto section = [&](std::size_t index) {
    Elf64_Shdr entry;
    std::memcpy(&entry, image.data() + header.e_shoff + index * sizeof(Elf64_Shdr), sizeof entry);
    return entry;
  };
  for (std::size_t index = 0; index < header.e_shnum; ++index) {
    const Elf64_Shdr symbols = section(index);
    if (symbols.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr strings = section(symbols.sh_link);
    for (std::size_t at = 0; at + sizeof(Elf64_Sym) <= symbols.sh_size; at += sizeof(Elf64_Sym)) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, image.data() + symbols.sh_offset + at, sizeof symbol);
      const unsigned binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
      names.insert(image.data() + strings.sh_offset + symbol.st_name);
    }
  }
  return names;
}

TEST(QuilletLibrary, ExportsOnlyGetManagerInterface) {
  const std::string path = plat::testing::sibling_program("Quillet.DLL");
  EXPECT_EQ(DefinedDynamicSymbols(path), std::set<std::string>{"GetManagerInterface"});
}

}  // namespace
