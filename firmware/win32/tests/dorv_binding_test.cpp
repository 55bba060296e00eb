#include "firmware/win32/QelDorvBinding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/display.h"
#include "platform/win/library.h"
#include "platform/win/profile.h"
#include "qellib/QelLog.h"

namespace {

namespace fs = std::filesystem;
using dorv::DorvInterface;

bool DorvLoaded() { return plat::find_loaded_library(dorv::kLibraryName) != nullptr; }

class DorvBinding : public ::testing::Test {
 protected:
  void SetUp() override { LoadQelLog(); }
  void TearDown() override { UnloadQelLog(); }
  static bool Logged(const std::string& text) {
    return plat::support::read_machine_log().find(text) != std::string::npos;
  }

  plat::testing::ScopedMachine machine_;
  DorvInterface record_{};
};

TEST_F(DorvBinding, AttachFillsTheTableAndTheLastDetachReleasesTheLibrary) {
  ASSERT_EQ(DorvAttach(&record_), 0u);
  EXPECT_EQ(DorvAttachCount(), 1u);
  EXPECT_EQ(record_.sizeAndVersion, 100u);
  EXPECT_NE(record_.module, nullptr);
  EXPECT_NE(record_.functions[dorv::kDorvCreateSurface], nullptr);
  EXPECT_NE(record_.functions[dorv::kDorvCreateOverlay], nullptr);
  ASSERT_EQ(DorvAttach(&record_), 0u);
  EXPECT_EQ(DorvAttachCount(), 2u);

  EXPECT_EQ(DorvDetach(&record_), 0u);
  EXPECT_EQ(DorvAttachCount(), 1u);
  EXPECT_TRUE(DorvLoaded());
  EXPECT_NE(record_.unregisterInterface, nullptr);
  EXPECT_EQ(DorvDetach(&record_), 0u);
  EXPECT_EQ(DorvAttachCount(), 0u);
  EXPECT_EQ(record_.module, nullptr);
  EXPECT_EQ(record_.unregisterInterface, nullptr);
  EXPECT_EQ(record_.functions[dorv::kDorvCreateSurface], nullptr);
  EXPECT_FALSE(DorvLoaded());
  // A detach without an attach changes nothing.
  EXPECT_EQ(DorvDetach(&record_), 0u);
  EXPECT_EQ(DorvAttachCount(), 0u);
}

struct AttachCase {
  const char* name;
  std::uint32_t bitsPerPixel;
  std::vector<std::pair<const char*, const char*>> knobs;
  std::uint32_t status;
  const char* line;  // logged, or null for none
};

TEST_F(DorvBinding, FailuresOfTheAttachAnswerTheirCodesAndReleaseTheLibrary) {
  const AttachCase cases[] = {
      {"16-colour display", 4, {}, 5220, nullptr},
      {"no display", 0, {}, 5220, nullptr},
      {"hardware support off", 32, {{"RegisterStatus", "1010"}}, 0x146D,
       "DorvAttach: Direct Draw hardware support is not enabled"},
      {"another registration error", 32, {{"RegisterStatus", "1012"}}, 0x1447,
       "DorvAttach: Direct Draw error (0x000003F4)"},
      {"unknown small code", 32, {{"RegisterStatus", "7"}}, 0x1456,
       "qeldorv: QELSTATUS_SOFTWARE_ERROR generated from Dorv Error = 0x00000007"},
      {"wrong interface size", 32, {{"InterfaceSize", "64"}}, 0x1432, "DorvAttach: Direct Draw error (0x000003EB)"},
      {"library version 99", 8, {{"InterfaceVersion", "99"}}, 5206,
       "DorvAttach: Incompatible interface versions (99 != 100)"},
  };
  for (const AttachCase& c : cases) {
    SCOPED_TRACE(c.name);
    plat::testing::ScopedMachine machine;
    ASSERT_TRUE(plat::set_display_bits_per_pixel(c.bitsPerPixel));
    for (const auto& [key, value] : c.knobs)
      plat::write_private_profile_string("Knobs", key, value, machine.path("dorv.ini").c_str());
    DorvInterface record{};
    EXPECT_EQ(DorvAttach(&record), c.status);
    EXPECT_EQ(DorvAttachCount(), 0u);
    EXPECT_EQ(record.module, nullptr);
    EXPECT_FALSE(DorvLoaded());
    if (c.line != nullptr) {
      EXPECT_TRUE(Logged(c.line)) << plat::support::read_machine_log();
    }
  }
}

TEST(DorvTranslation, StatusesFormatsAndMemoryTypes) {
  const std::pair<std::uint32_t, std::uint32_t> statuses[] = {
      {0, 0},      {170, 0},    {105, 76},   {1046, 76},  {175, 75},  {115, 110}, {235, 43},  {1010, 109},
      {1078, 81},  {1012, 71},  {195, 100},  {220, 866},  {236, 107}, {1003, 50}, {1015, 80}, {1017, 84},
      {1084, 110}, {5000, 110}, {999, 86},
  };
  for (auto [code, kind] : statuses) EXPECT_EQ(DorvTranslateStatus(code), kind) << code;

  const std::pair<std::uint32_t, std::uint32_t> formats[] = {
      {0x01010800, 1}, {0x11010800, 1}, {0x61071000, 2},  {0x61061000, 3},  {0x61092000, 4},
      {0x61101000, 5}, {0x610E1000, 6}, {0x610D1000, 7},  {0x610F1000, 8},  {0x61110C00, 9},
      {0x61120C00, 10}, {0x61081800, 11}, {0x01021000, 12}, {0x610A2000, 101}, {0x01180100, 101},
  };
  for (auto [format, display] : formats) EXPECT_EQ(DorvFormatFromDataFormat(format), display) << std::hex << format;

  EXPECT_EQ(DorvMemTypeFromBufferType(0x8), 0x2002u);
  EXPECT_EQ(DorvMemTypeFromBufferType(0x4), 0x4001u);
  EXPECT_EQ(DorvMemTypeFromBufferType(0x2), 0x4000u);
  EXPECT_EQ(DorvMemTypeFromBufferType(0xA), 0x4002u);
  EXPECT_EQ(DorvMemTypeFromBufferType(0x6), 0x8001u);
  EXPECT_EQ(DorvMemTypeFromBufferType(0), 0u);
}

// The library looked for where a process finds its libraries: a folder of its
// own holding only what the test puts there.
class DorvBindingProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = machine_.path("app");
    fs::create_directories(folder_);
    fs::copy_file(plat::testing::sibling_program("quillet-helper-dorv"), folder_ + "/quillet-helper-dorv");
    Provide("Pardow.DLL");
    Provide("QelLog.dll");
  }
  void Provide(const std::string& library, const std::string& as = "") {
    fs::create_symlink(plat::testing::sibling_program(library), folder_ + "/" + (as.empty() ? library : as));
  }
  std::string Ask(const std::string& line) {
    if (!process_) {
      process_ = std::make_unique<plat::testing::ChildProcess>(folder_ + "/quillet-helper-dorv",
                                                               std::vector<std::string>{});
      EXPECT_EQ(process_->read_line(), "ready");
    }
    process_->write_line(line);
    return process_->read_line();
  }

  plat::testing::ScopedMachine machine_;
  std::string folder_;
  std::unique_ptr<plat::testing::ChildProcess> process_;
};

TEST_F(DorvBindingProcess, AMissingLibraryAnswers5196) {
  EXPECT_EQ(Ask("attach"), "5196");
  EXPECT_NE(plat::support::read_machine_log().find("DorvAttach: Cannot load module \"Dorv.DLL\" Error 0x0000007E"),
            std::string::npos);
  // Once the library is there, the next attach finds it.
  Provide("Dorv.DLL");
  EXPECT_EQ(Ask("attach"), "0");
  EXPECT_EQ(Ask("loaded"), "1");
  EXPECT_EQ(Ask("detach"), "ok");
  EXPECT_EQ(Ask("loaded"), "0");
}

TEST_F(DorvBindingProcess, ALibraryWithoutRegistrationAnswers5195AndIsReleased) {
  Provide("QelLog.dll", "Dorv.DLL");
  EXPECT_EQ(Ask("attach"), "5195");
  EXPECT_EQ(Ask("loaded"), "0");
  EXPECT_NE(plat::support::read_machine_log().find("DorvAttach: Cannot get registration interface Error 0x0000007F"),
            std::string::npos);
}

}  // namespace
