#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"

namespace {

namespace fs = std::filesystem;
using plat::testing::ChildProcess;

// The binding helper run from a folder of its own, beside only the libraries
// it is given: what it does not find there, it does not find at all (a fresh
// machine has no system directory).
class QelMemBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = machine_.path("app");
    fs::create_directories(folder_);
    fs::copy_file(plat::testing::sibling_program("quillet-helper-qelmem"), folder_ + "/quillet-helper-qelmem");
    Provide("Pardow.DLL");
    Provide("QelLog.dll");
  }
  // Puts a library of the build into the folder, under its own or another name.
  void Provide(const std::string& library, const std::string& as = "") {
    fs::create_symlink(plat::testing::sibling_program(library), folder_ + "/" + (as.empty() ? library : as));
  }
  ChildProcess& Start() {
    process_ = std::make_unique<ChildProcess>(folder_ + "/quillet-helper-qelmem", std::vector<std::string>{});
    EXPECT_EQ(process_->read_line(), "ready");
    return *process_;
  }
  std::string Ask(const std::string& line) {
    process_->write_line(line);
    return process_->read_line();
  }
  static std::size_t Count(const std::string& text) {
    const std::string log = plat::support::read_machine_log();
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  plat::testing::ScopedMachine machine_;
  std::string folder_;
  std::unique_ptr<ChildProcess> process_;
};

TEST_F(QelMemBinding, AnAbsentLibraryIsTriedOnceUntilTheNextUnload) {
  Start();
  EXPECT_EQ(Ask("call"), "0");
  EXPECT_EQ(Count("QelMem Loader: Function QelMemAllocMsg not found in QelMem.dll"), 1u);
  // The library appears; the binding does not look again by itself.
  Provide("QelMem.dll");
  EXPECT_EQ(Ask("call"), "0");
  EXPECT_EQ(Ask("loaded"), "0");
  EXPECT_EQ(Count("QelMem Loader: Function QelMemAllocMsg not found in QelMem.dll"), 2u);
  EXPECT_EQ(Ask("load"), "0");
  // After an unload the next wrapper call binds it.
  EXPECT_EQ(Ask("unload"), "ok");
  EXPECT_EQ(Ask("call"), "1");
  EXPECT_EQ(Ask("loaded"), "1");
  // Bound already: success, and the label is kept for later lines.
  EXPECT_EQ(Ask("load Quillet.DLL"), "1");
  EXPECT_EQ(Ask("unload"), "ok");
  EXPECT_EQ(Ask("load"), "1");
  EXPECT_EQ(Ask("call"), "1");
}

TEST_F(QelMemBinding, MissingEntriesAreLoggedByNameWithTheLoadersLabel) {
  Provide("QelLog.dll", "QelMem.dll");  // a library without any of the entries
  Start();
  EXPECT_EQ(Ask("load Quillet.DLL"), "1");
  EXPECT_EQ(Ask("call"), "0");
  EXPECT_EQ(Count("Quillet.DLL: Function QelMemAllocMsg not found in QelMem.dll"), 1u);
}

}  // namespace
