#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/library.h"

namespace {

using plat::testing::ScopedMachine;

using PutLogEntry = int (*)(std::uint32_t, const char*, std::uint32_t, const char*);
using PutMsgEntry = int (*)(std::uint32_t, const char*);
using GetLogExEntry = int (*)(char*, std::uint32_t, std::uint32_t);

// The log library as its users bind it: by name, entries by name.
class BoundLog {
 public:
  BoundLog() : module_(plat::load_library("QELLOG.DLL")) {}
  ~BoundLog() {
    if (module_) plat::free_library(module_);
  }
  plat::ModuleHandle module() const { return module_; }
  template <typename Entry>
  Entry entry(const char* name) const {
    return reinterpret_cast<Entry>(plat::get_proc_address(module_, name));
  }

 private:
  plat::ModuleHandle module_;
};

TEST(QelLog, EntriesOfCallersReachTheMachineLog) {
  ScopedMachine machine;
  BoundLog log;
  ASSERT_NE(log.module(), nullptr);
  auto put_log = log.entry<PutLogEntry>("QelLogPutLog");
  auto put_msg = log.entry<PutMsgEntry>("QelLogPutMsg");
  ASSERT_NE(put_log, nullptr);
  ASSERT_NE(put_msg, nullptr);

  EXPECT_EQ(put_log(2, "Init.cpp", 120, "QelManOpen => ready\n"), 1);
  EXPECT_EQ(put_msg(0, "plain message"), 1);

  // A line logged from another module carries that module's file name.
  plat::ModuleHandle module = plat::load_library("TestMod.DLL");
  ASSERT_NE(module, nullptr);
  auto log_from_module =
      reinterpret_cast<int (*)(void*, const char*)>(plat::get_proc_address(module, "TestModPutLog"));
  ASSERT_NE(log_from_module, nullptr);
  EXPECT_EQ(log_from_module(reinterpret_cast<void*>(put_log), "from a module"), 1);
  plat::free_library(module);

  EXPECT_EQ(plat::testing::read_file(machine.path("qel.log")),
            "L2 plat_support_tests Init.cpp:120 QelManOpen => ready\n"
            "L0 plat_support_tests - plain message\n"
            "L1 TestMod.DLL testmod_entry.cpp:31 from a module\n");
}

TEST(QelLog, ExportsOnlyItsEntryPoints) {
  ScopedMachine machine;
  BoundLog log;
  for (const char* name : {"QelLogOnline", "QelLogPutLog", "QelLogPutMsg", "QelLogGetLog", "QelLogGetLogEx"})
    EXPECT_NE(log.entry<void*>(name), nullptr) << name;
  // The platform linked into the library stays private to it.
  EXPECT_EQ(log.entry<void*>("_ZN4plat12load_libraryEPKc"), nullptr);
  EXPECT_EQ(log.entry<void*>("_ZN4plat7support15append_log_lineEjPKcS2_jSt17basic_string_viewIcSt11char_traitsIcEE"), nullptr);

  auto online = log.entry<int (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                                  std::uintptr_t, std::uintptr_t)>("QelLogOnline");
  EXPECT_EQ(online(0, 0, 0, 0, 0, 0), 1);
}

TEST(QelLog, GetLogCopiesTheLastWholeLines) {
  ScopedMachine machine;
  BoundLog log;
  for (const char* text : {"first", "second", "third"})
    plat::support::append_log_line(1, "Pardow.DLL", "a.cpp", 1, text);
  const std::string third = "L1 Pardow.DLL a.cpp:1 third\n";
  const std::string second = "L1 Pardow.DLL a.cpp:1 second\n";

  auto get_log = log.entry<int (*)(char*, std::uint32_t)>("QelLogGetLog");
  auto get_log_ex = log.entry<GetLogExEntry>("QelLogGetLogEx");
  ASSERT_NE(get_log, nullptr);
  ASSERT_NE(get_log_ex, nullptr);
  char buffer[128];
  const auto room_for_two = static_cast<std::uint32_t>(second.size() + third.size() + 5);
  EXPECT_EQ(get_log(buffer, room_for_two), static_cast<int>(second.size() + third.size()));
  EXPECT_EQ(std::string(buffer), second + third);
  EXPECT_EQ(get_log_ex(buffer, sizeof buffer, 1), static_cast<int>(third.size()));
  EXPECT_EQ(std::string(buffer), third);
  EXPECT_EQ(get_log(buffer, 4), 0);
  EXPECT_EQ(std::string(buffer), "");
  EXPECT_EQ(get_log(nullptr, 100), -1);
}

TEST(SetupApi, NoInstallationIsEverPending) {
  ScopedMachine machine;
  plat::ModuleHandle module = plat::load_library("SETUPAPI.DLL");
  ASSERT_NE(module, nullptr);
  auto wait = reinterpret_cast<std::uint32_t (*)(std::uint32_t)>(
      plat::get_proc_address(module, "CMP_WaitNoPendingInstallEvents"));
  ASSERT_NE(wait, nullptr);
  EXPECT_EQ(wait(5000), 0u);
  EXPECT_TRUE(plat::free_library(module));
}

}  // namespace
