// The server driver's instance opened by a process without the SDK, as board
// management does: what each server mode sets up and the close removes, a
// failing installation step, and the device-control module absent or
// missing an entry.
#include <filesystem>

#include "platform/testing/child_process.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;
namespace fs = std::filesystem;

class Instance : public Road {
 protected:
  ChildProcess& StartInstance() { return Start("quillet-helper-instance"); }

  // A copy of a helper program in a folder of its own, beside every library
  // of the build but `absent`, which is also taken out of the system directory.
  std::string Isolated(const std::string& program, const std::string& absent) {
    const fs::path build = fs::path(plat::testing::sibling_program(program)).parent_path();
    const fs::path folder = machine_.path("isolated");
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(build)) {
      const std::string name = entry.path().filename().string();
      if (name == absent || name == program || !entry.is_regular_file()) continue;
      fs::create_symlink(entry.path(), folder / name);
    }
    fs::copy_file(build / program, folder / program);
    fs::remove(machine_.path("system/" + absent));
    return (folder / program).string();
  }

  static std::size_t Count(const std::string& text) {
    const std::string log = plat::support::read_machine_log();
    std::size_t count = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }
};

TEST_F(Instance, ServerModeZeroInstallsNothingAndItsCloseRemovesNothing) {
  ChildProcess& process = StartInstance();
  EXPECT_EQ(Ask(process, "ext"), "ext 70 70 70 70");  // nothing bound yet
  EXPECT_EQ(Ask(process, "open 0"), "open 0");
  // Open, mode 0: no port server, no event pool, no handler range.
  EXPECT_EQ(Ask(process, "view"), "view 1 0 0 0 0 0 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 1");
  EXPECT_EQ(Ask(process, "ext"), "ext 70 70 70 0");  // the board library's table is bound
  EXPECT_EQ(Ask(process, "open 0"), "open 0");        // once per process
  EXPECT_EQ(Ask(process, "counter"), "counter 1");
  EXPECT_EQ(Ask(process, "close"), "close 0");
  EXPECT_EQ(Ask(process, "view"), "view 0 0 0 0 0 0 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 0");
  EXPECT_EQ(Ask(process, "close"), "close 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 0");
  // Server mode sets them all up, the buffer commands among them.
  EXPECT_EQ(Ask(process, "open 1"), "open 0");
  EXPECT_EQ(Ask(process, "view"), "view 1 0 1 1 1 1 1");
  EXPECT_EQ(Ask(process, "close"), "close 0");
  EXPECT_EQ(Ask(process, "view"), "view 0 0 0 0 0 0 0");
}

TEST_F(Instance, AFailingInstallationStepFailsTheOpenAndTheCloseRemovesTheStepsDoneInItsOrder) {
  ChildProcess& process = StartInstance();
  Ask(process, "releases");
  Ask(process, "bufferstep");
  Ask(process, "failstep 5");
  EXPECT_EQ(Ask(process, "open 1"), "open 86");
  EXPECT_TRUE(LogShows({"Quillet.DLL: InstallFunctions => Transfer Functions could not be initialized",
                        "Quillet.DLL: HostFirmwareInitInstance => Cannot initialize: 0x56"}));
  // Steps 1 to 4 stay until the close; a second open answers the first one's status.
  EXPECT_EQ(Ask(process, "view"), "view 1 86 1 0 1 1 1");
  EXPECT_EQ(Ask(process, "open 1"), "open 86");
  EXPECT_EQ(Ask(process, "counter"), "counter 1");
  EXPECT_EQ(Ask(process, "close"), "close 0");
  // Board buffer handlers (always), buffer, acquisition (always), manager.
  EXPECT_EQ(Ask(process, "order"), "order 4 5 6 7");
  EXPECT_EQ(Ask(process, "view"), "view 0 0 0 0 0 0 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 0");
}

TEST_F(Instance, AMissingDriverDirectoryAnswersItsBoardStatusUntilTheClose) {
  ::unsetenv("YATFOLVA4XDIR");
  ChildProcess& process = StartInstance();
  const std::string missing = std::to_string(static_cast<std::uint32_t>(-2009));
  EXPECT_EQ(Ask(process, "open 1"), "open " + missing);
  EXPECT_EQ(Ask(process, "open 1"), "open " + missing);
  EXPECT_EQ(Ask(process, "close"), "close 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 0");
}

TEST_F(Instance, WithoutTheDeviceControlModuleTheOpenAnswers122AndItsFunctions86) {
  ChildProcess& process = Start(Isolated("quillet-helper-instance", "Ormel.VKM"));
  EXPECT_EQ(Ask(process, "open 1"), "open 122");
  EXPECT_TRUE(LogShows({"Ormel.VKM Loader: Cannot load module \"Ormel.VKM\" Error 0x0000007E"}));
  // The functions answer 86 with a line each, and nobody tries to load it again.
  EXPECT_EQ(Ask(process, "fields"), "fields 86 0");
  EXPECT_EQ(Ask(process, "version"), "version 86 0");
  EXPECT_TRUE(LogShows({"Ormel.VKM Loader: Function QelGetNbEepromField not found in Ormel.VKM",
                        "Ormel.VKM Loader: Function QelGetInterfaceVersion not found in Ormel.VKM"}));
  EXPECT_EQ(Count("Cannot load module"), 1u);
  EXPECT_EQ(Ask(process, "close"), "close 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 0");
}

TEST_F(Instance, WithoutTheLogLibraryTheOpenAnswers122) {
  ChildProcess& process = Start(Isolated("quillet-helper-instance", "QelLog.dll"));
  EXPECT_EQ(Ask(process, "open 1"), "open 122");
  EXPECT_EQ(Ask(process, "counter"), "counter 1");  // until the close
  EXPECT_EQ(Ask(process, "close"), "close 0");
  EXPECT_EQ(Ask(process, "counter"), "counter 0");
}

TEST_F(Instance, AModuleMissingAnEntryOpensAndThatEntryAnswers86WithItsLine) {
  const fs::path alternative = machine_.path("alternative");
  fs::create_directories(alternative);
  fs::create_symlink(plat::testing::sibling_program("PartialOrmel.VKM"), alternative / "Ormel.VKM");
  ChildProcess& process = StartInstance();
  ASSERT_EQ(Ask(process, "preload " + (alternative / "Ormel.VKM").string()), "preload 1");
  EXPECT_EQ(Ask(process, "open 1"), "open 0");
  EXPECT_EQ(Ask(process, "version"), "version 0 1");
  EXPECT_EQ(Ask(process, "fields"), "fields 86 0");
  EXPECT_TRUE(LogShows({"Ormel.VKM Loader: Function QelGetNbEepromField not found in Ormel.VKM"}));
  EXPECT_EQ(Ask(process, "close"), "close 0");
}

TEST_F(Instance, WithTheSdksLockHeldEventsGoBackOnceAndMessagesCanBeMade) {
  ChildProcess& process = StartInstance();
  // Released once; a second release and an event never handed out are refused.
  EXPECT_EQ(Ask(process, "apievents"), "apievents 0 " + std::to_string(0x300004C) + " " + std::to_string(0x300004C) +
                                           " 0 " + std::to_string(0x3000362) + " 1");
  EXPECT_TRUE(LogShows({"QelManReleaseEvent => Event 0x", "is not handed out",
                        "QelManWaitEvent => Communication Timeout (50 ms)"}));
}

TEST_F(Instance, ARequestPostedThroughTheWrappersIsAnsweredToItsTransaction) {
  ChildProcess& process = StartInstance();
  // Posted, dispatched to its handler, answered, woken, taken: the status and
  // payload the handler gave; its error text stays on its thread (here the
  // poster's), nothing is appended to an answer for this very server.
  EXPECT_EQ(Ask(process, "apimessages"), "apimessages 0 0 0 " + std::to_string(0x4C00046) + " 42 doubled 0");
}

}  // namespace
