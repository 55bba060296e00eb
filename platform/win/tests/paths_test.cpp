#include "platform/win/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/testing/machine_fixture.h"

namespace plat {
namespace {

using testing::ScopedMachine;

TEST(Paths, WindowsStylePathsMapIntoTheMachine) {
  ScopedMachine machine;
  std::filesystem::create_directories(machine.path("drives/c/Program Files/Maker"));
  std::filesystem::create_directories(machine.path("drives/d/Data"));
  const std::string c = machine.path("drives/c");
  struct Case {
    const char* input;
    std::string expected;
  } cases[] = {
      {"C:\\a\\b", c + "/a/b"},
      {"c:/a/b", c + "/a/b"},
      {"C:", c},
      {"C:\\", c},
      {"C:\\PROGRAM FILES\\maker\\Cfg.ini", c + "/Program Files/Maker/Cfg.ini"},
      {"C:\\program files\\New\\maker", c + "/Program Files/New/maker"},  // matching stops at New
      {"c:\\\\Program Files//./Maker\\..\\x", c + "/Program Files/x"},
      {"C:\\..\\..\\x", c + "/x"},
      {"D:\\data\\f.bin", machine.path("drives/d/Data/f.bin")},
      {"\\Windows\\win.ini", c + "/Windows/win.ini"},
      {"\\\\server\\share\\f", machine.path("unc/server/share/f")},
      {"/tmp/Native\\Path", "/tmp/Native/Path"},  // both separators separate
      {"", ""},
  };
  for (const auto& k : cases) EXPECT_EQ(native_path(k.input), k.expected) << k.input;
}

TEST(Paths, RelativePathsResolveAgainstTheCurrentDirectory) {
  ScopedMachine machine;
  std::filesystem::create_directories(machine.path("work/Sub"));
  const std::string previous = std::filesystem::current_path();
  ASSERT_EQ(::chdir(machine.path("work").c_str()), 0);
  const std::string here = std::filesystem::current_path();
  EXPECT_EQ(native_path("sub\\file.txt"), here + "/Sub/file.txt");
  EXPECT_EQ(native_path(".\\SUB/..\\other"), here + "/other");
  EXPECT_EQ(native_path("..\\work\\x"), here + "/x");
  ASSERT_EQ(::chdir(previous.c_str()), 0);
}

TEST(Paths, FileNameIsThePartAfterTheLastSeparator) {
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Windows\\System32\\Pardow.DLL", "Pardow.DLL"},
      {"/usr/lib/x.so", "x.so"},
      {"a/b\\c", "c"},
      {"C:name.ini", "name.ini"},
      {"plain", "plain"},
      {"dir\\", ""},
  };
  for (const auto& k : cases) EXPECT_EQ(path_file_name(k.path), k.name) << k.path;
}

}  // namespace
}  // namespace plat
