#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"
#include "platform/win/library.h"
#include "platform/win/version.h"

extern "C" int TestLinkedAttachCount();
extern "C" void* TestLinkedSelf();

namespace {

namespace fs = std::filesystem;
using plat::testing::ScopedMachine;

fs::path program_folder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::vector<std::string> module_events(const ScopedMachine& machine) {
  std::istringstream lines(plat::testing::read_file(machine.path("testmod-events.txt")));
  std::vector<std::string> events;
  for (std::string line; std::getline(lines, line);) events.push_back(line);
  return events;
}

std::string event(const char* what, plat::ModuleHandle module) {
  std::ostringstream text;
  text << what << ' ' << module;
  return text.str();
}

TEST(Library, FindsModuleInProgramFolderIgnoringCase) {
  ScopedMachine machine;
  for (const char* name : {"QELLOG.DLL", "qellog.dll", "QelLog.dll", "qellog"}) {
    SCOPED_TRACE(name);
    plat::ModuleHandle module = plat::load_library(name);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(plat::module_file_name(module), (program_folder() / "QelLog.dll").string());
    EXPECT_TRUE(plat::free_library(module));
  }
}

TEST(Library, FindsModuleInSystemDirectory) {
  ScopedMachine machine;
  EXPECT_EQ(plat::load_library("SYSONLY.DLL"), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorModNotFound);

  fs::create_directories(machine.path("system"));
  fs::copy_file(program_folder() / "sysonly" / "SysOnly.Dll", machine.path("system/SysOnly.Dll"));
  plat::ModuleHandle module = plat::load_library("SYSONLY.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(plat::module_file_name(module), machine.path("system/SysOnly.Dll"));
  auto answer = reinterpret_cast<int (*)()>(plat::get_proc_address(module, "SysOnlyAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 7);
  EXPECT_TRUE(plat::free_library(module));
}

TEST(Library, TakesAbsolutePathAsItIs) {
  ScopedMachine machine;
  const std::string path = (program_folder() / "TestMod.DLL").string();
  plat::ModuleHandle module = plat::load_library(path.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(plat::module_file_name(module), path);
  EXPECT_TRUE(plat::free_library(module));

  EXPECT_EQ(plat::load_library((program_folder() / "NoSuch.DLL").c_str()), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorModNotFound);
}

TEST(Library, TakesWindowsStylePathOnTheMachine) {
  ScopedMachine machine;
  fs::create_directories(machine.path("drives/c/Mods"));
  fs::copy_file(program_folder() / "TestMod.DLL", machine.path("drives/c/Mods/TestMod.DLL"));
  plat::ModuleHandle module = plat::load_library("C:\\MODS\\testmod.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(plat::module_file_name(module), machine.path("drives/c/Mods/TestMod.DLL"));
  EXPECT_EQ(plat::find_loaded_library("c:/mods/TESTMOD.DLL"), module);
  EXPECT_TRUE(plat::free_library(module));

  plat::VersionRecord record{};
  EXPECT_TRUE(plat::read_file_version("c:\\Mods\\TESTMOD.DLL", &record));
  EXPECT_STREQ(record.original_file_name, "TestMod.DLL");
}

TEST(Library, RejectsFileThatIsNoLibrary) {
  ScopedMachine machine;
  fs::create_directories(machine.path("system"));
  plat::testing::write_file(machine.path("system/Broken.dll"), "MZ not a library");
  EXPECT_EQ(plat::load_library("BROKEN.DLL"), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorBadFormat);
}

TEST(Library, MissingEntryPointIsNullAndModuleStaysUsable) {
  ScopedMachine machine;
  plat::ModuleHandle module = plat::load_library("testmod.dll");
  ASSERT_NE(module, nullptr);
  plat::set_last_error(0);
  EXPECT_EQ(plat::get_proc_address(module, "TestModMissing"), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorProcNotFound);
  // A symbol of a library the module uses is not the module's entry point.
  EXPECT_EQ(plat::get_proc_address(module, "fopen"), nullptr);

  auto answer = reinterpret_cast<int (*)()>(plat::get_proc_address(module, "TestModAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_TRUE(plat::free_library(module));
}

TEST(Library, CountsReferencesAndDetachesOnLastFree) {
  ScopedMachine machine;
  plat::ModuleHandle first = plat::load_library("TestMod.DLL");
  plat::ModuleHandle second = plat::load_library("TESTMOD.dll");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(second, first);
  EXPECT_EQ(module_events(machine), std::vector<std::string>{event("attach", first)});

  EXPECT_TRUE(plat::free_library(second));
  EXPECT_EQ(plat::find_loaded_library("testmod.dll"), first);
  EXPECT_EQ(module_events(machine).size(), 1u);

  EXPECT_TRUE(plat::free_library(first));
  EXPECT_EQ(plat::find_loaded_library("testmod.dll"), nullptr);
  EXPECT_EQ(module_events(machine),
            (std::vector<std::string>{event("attach", first), event("detach", first)}));
}

TEST(Library, FindLoadedLibraryDoesNotLoad) {
  ScopedMachine machine;
  EXPECT_EQ(plat::find_loaded_library("TestMod.DLL"), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorModNotFound);
  EXPECT_TRUE(module_events(machine).empty());

  plat::ModuleHandle module = plat::load_library("TestMod.DLL");
  EXPECT_EQ(plat::find_loaded_library("TESTMOD.DLL"), module);
  EXPECT_EQ(plat::find_loaded_library((program_folder() / "TestMod.DLL").c_str()), module);
  EXPECT_TRUE(plat::free_library(module));
}

TEST(Library, ModuleLinkedAtStartRanItsLoadHook) {
  EXPECT_EQ(TestLinkedAttachCount(), 1);
  plat::ModuleHandle module = plat::find_loaded_library("testlinked.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(TestLinkedSelf(), module);
  EXPECT_EQ(plat::module_from_address(reinterpret_cast<const void*>(&TestLinkedAttachCount)), module);
  EXPECT_EQ(plat::module_file_name(module), (program_folder() / "TestLinked.DLL").string());
}

TEST(Library, KnowsTheProgramAndRejectsUnknownHandles) {
  const std::string program = fs::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(plat::module_file_name(nullptr), program);
  plat::ModuleHandle self = plat::module_from_address(reinterpret_cast<const void*>(&program_folder));
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(plat::module_file_name(self), program);
  EXPECT_EQ(plat::find_loaded_library(fs::path(program).filename().c_str()), self);

  const auto heap = std::make_unique<int>(0);
  EXPECT_EQ(plat::module_from_address(heap.get()), nullptr);
  void* bogus = heap.get();
  EXPECT_EQ(plat::module_file_name(bogus), "");
  EXPECT_EQ(plat::last_error(), plat::kErrorInvalidHandle);
  EXPECT_FALSE(plat::free_library(bogus));
  EXPECT_EQ(plat::get_proc_address(bogus, "TestModAnswer"), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorInvalidHandle);
}

TEST(FileVersion, ReadsRecordOfDeliverable) {
  plat::VersionRecord record{};
  ASSERT_TRUE(plat::read_file_version((program_folder() / "TestMod.DLL").c_str(), &record));
  EXPECT_EQ(record.file_version[0], 2);
  EXPECT_EQ(record.file_version[1], 3);
  EXPECT_EQ(record.file_version[2], 4);
  EXPECT_EQ(record.file_version[3], 5);
  EXPECT_STREQ(record.original_file_name, "TestMod.DLL");
  EXPECT_STREQ(record.file_description, "Loader test module");
  EXPECT_STREQ(record.company_name, "Habrix");

  ASSERT_TRUE(plat::read_file_version((program_folder() / "QelLog.dll").c_str(), &record));
  EXPECT_STREQ(record.original_file_name, "QelLog.dll");
}

std::string with_bytes(std::string image, std::size_t offset, std::string_view bytes) {
  image.replace(offset, bytes.size(), bytes);
  return image;
}

TEST(FileVersion, RejectsFilesWithoutSoundRecord) {
  ScopedMachine machine;
  const std::string image = plat::testing::read_file((program_folder() / "TestMod.DLL").string());
  ASSERT_GT(image.size(), 4096u);
  const std::string all_ones(8, '\xff');
  // Offsets in the ELF64 file header: section header table at 0x28, entry
  // size at 0x3a, entry count at 0x3c, name table index at 0x3e.
  const struct {
    const char* name;
    std::string contents;
  } cases[] = {
      {"empty", ""},
      {"text", "just some text, certainly no version"},
      {"header only", image.substr(0, 64)},
      {"sections beyond end", with_bytes(image, 0x28, all_ones)},
      {"odd entry size", with_bytes(image, 0x3a, std::string("\x10\x00", 2))},
      {"name table out of range", with_bytes(image, 0x3e, std::string("\xff\x7f", 2))},
      {"32-bit class", with_bytes(image, 4, "\x01")},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.name);
    const std::string path = machine.path("bad.dll");
    plat::testing::write_file(path, bad.contents);
    plat::VersionRecord record{};
    plat::set_last_error(0);
    EXPECT_FALSE(plat::read_file_version(path.c_str(), &record));
    EXPECT_EQ(plat::last_error(), plat::kErrorInvalidData);
  }

  // Cut anywhere, the file loses its section headers at the end.
  for (std::size_t cut = 0; cut < image.size(); cut += image.size() / 61 + 1) {
    const std::string path = machine.path("cut.dll");
    plat::testing::write_file(path, image.substr(0, cut));
    plat::VersionRecord record{};
    EXPECT_FALSE(plat::read_file_version(path.c_str(), &record)) << "cut at " << cut;
  }

  plat::VersionRecord record{};
  EXPECT_FALSE(plat::read_file_version(fs::read_symlink("/proc/self/exe").c_str(), &record));
  EXPECT_EQ(plat::last_error(), plat::kErrorInvalidData);
  EXPECT_FALSE(plat::read_file_version(machine.path("missing.dll").c_str(), &record));
  EXPECT_EQ(plat::last_error(), plat::kErrorFileNotFound);
}

}  // namespace
