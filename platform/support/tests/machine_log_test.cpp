#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"

namespace {

using plat::testing::ScopedMachine;

TEST(MachineLog, FormatsOneLinePerEntry) {
  const struct {
    std::uint32_t level;
    const char* module;
    const char* source;
    std::uint32_t line;
    const char* text;
    const char* expected;
  } cases[] = {
      {2, "Pardow.DLL", "Init.cpp", 120, "text", "L2 Pardow.DLL Init.cpp:120 text"},
      {0, "Quillet.dll", "Man.cpp", 7, "Fifo overflow (3)\r\n", "L0 Quillet.dll Man.cpp:7 Fifo overflow (3)"},
      {3, "Keldon.exe", nullptr, 0, "first\nsecond", "L3 Keldon.exe - first second"},
      {1, nullptr, "", 9, "", "L1 ? - "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(plat::support::format_log_line(c.level, c.module, c.source, c.line, c.text), c.expected);
}

TEST(MachineLog, AppendsToTheMachinesLogFile) {
  ScopedMachine machine;
  EXPECT_EQ(plat::support::read_machine_log(), "");
  ASSERT_TRUE(plat::support::append_log_line(2, "Pardow.DLL", "Init.cpp", 120, "one\n"));
  ASSERT_TRUE(plat::support::append_log_line(0, "Stavro.SYS", "Isr.c", 44, "two"));
  EXPECT_EQ(plat::testing::read_file(machine.path("qel.log")),
            "L2 Pardow.DLL Init.cpp:120 one\nL0 Stavro.SYS Isr.c:44 two\n");
  EXPECT_EQ(plat::support::read_machine_log(), plat::testing::read_file(machine.path("qel.log")));
}

TEST(MachineLog, ConcurrentWritersKeepLinesWhole) {
  ScopedMachine machine;
  constexpr int kEntries = 400;
  {
    plat::testing::ChildProcess first("plat-helper-logwriter", {"First.dll", std::to_string(kEntries)});
    plat::testing::ChildProcess second("plat-helper-logwriter", {"Second.dll", std::to_string(kEntries)});
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);
  }
  const std::string filler(200, 'x');
  std::map<std::string, int> next_line{{"First.dll", 0}, {"Second.dll", 0}};
  std::istringstream log(plat::support::read_machine_log());
  for (std::string line; std::getline(log, line);) {
    const std::string module = line.substr(3, line.find(' ', 3) - 3);
    ASSERT_TRUE(next_line.count(module)) << line;
    EXPECT_EQ(line, plat::support::format_log_line(1, module.c_str(), "writer.cpp",
                                                   next_line[module]++, filler));
  }
  EXPECT_EQ(next_line["First.dll"], kEntries);
  EXPECT_EQ(next_line["Second.dll"], kEntries);
}

}  // namespace
