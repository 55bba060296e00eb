// The manager client stubs against board 0's server with the manager commands
// installed, in a process of its own (quillet-helper-capiman): callbacks
// from a worker thread, the wait for a ready server, private codes, the
// installation directory, and the callback FIFO with its counters and reports.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"

namespace {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

class CapiManager : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(process_.read_line(60s), "ready"); }
  std::string Ask(const std::string& line) {
    process_.write_line(line);
    return process_.read_line(60s);
  }
  static bool Logged(const std::string& text) {
    return plat::support::read_machine_log().find(text) != std::string::npos;
  }
  plat::testing::ScopedMachine machine_;
  // The installation directory the server reads from its environment.
  int set_ = ::setenv("YATFOLVA4XDIR", "/opt/yat/driver-folder", 1);
  ChildProcess process_{"quillet-helper-capiman", {}};
};

TEST_F(CapiManager, ACallbackSentFromAWorkerThreadRunsTheClientsFunctionUnderTheApiLock) {
  EXPECT_EQ(Ask("callback 1"), "callback 0 1 1 42 3 7");
  EXPECT_EQ(Ask("callback 0"), "callback 0 2 1 42 3 7");
}

TEST_F(CapiManager, TheServerIsReadyAtOnceUnlessItAnswers104UntilTheTimeOut) {
  EXPECT_EQ(Ask("ready 5"), "ready 0 0");
  Ask("script 1006 " + std::to_string(0x3000068));
  // Time-out 0: one probe, then the time-out status.
  EXPECT_EQ(Ask("ready 0"), "ready " + std::to_string(0x3000362) + " 1");
  const auto start = std::chrono::steady_clock::now();
  const std::string reply = Ask("ready 1");
  EXPECT_EQ(reply.substr(0, 6 + std::to_string(0x3000362).size()), "ready " + std::to_string(0x3000362));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
  Ask("script 1006 98");
  EXPECT_EQ(Ask("ready 0"), "ready " + std::to_string(0x3000362) + " 1");
  Ask("script 1006 5");
  EXPECT_EQ(Ask("ready 0"), "ready 0 1");
}

TEST_F(CapiManager, PrivateCodesAreSentAbove0xA0000000AndLargerOnesAreRefusedUnsent) {
  Ask("script 1000 0");
  EXPECT_EQ(Ask("private 0"), "private 0 1 " + std::to_string(0xA0000000u));
  EXPECT_EQ(Ask("private 0x5FFFFFFF"), "private 0 1 " + std::to_string(0xFFFFFFFFu));
  EXPECT_EQ(Ask("private 0x60000000"), "private " + std::to_string(0x3000233) + " 0 " + std::to_string(0xFFFFFFFFu));
}

TEST_F(CapiManager, TheInstallationDirectoryIsCopiedAtMostToTheCallersSizeAndTerminated) {
  EXPECT_EQ(Ask("installdir 256"), "installdir 0 /opt/yat/driver-folder 1");
  EXPECT_EQ(Ask("installdir 9"), "installdir 0 /opt/yat 1");
  EXPECT_EQ(Ask("installdir 1"), "installdir 0  1");
}

TEST_F(CapiManager, AFifoOfNSlotsHoldsNMinus1CallbacksAndReportsWhatItDropped) {
  EXPECT_EQ(Ask("fifo 1"), "fifo " + std::to_string(0x3000132));
  EXPECT_EQ(Ask("fifo 65536"), "fifo " + std::to_string(0x3000132));
  // Without a FIFO a callback is counted and dropped.
  EXPECT_EQ(Ask("queue 1"), "queue 0");
  EXPECT_EQ(Ask("counters"), "counters 0 0 1 1 0 0");
  EXPECT_EQ(Ask("fifo 4"), "fifo 0");
  EXPECT_EQ(Ask("queue 4"), "queue 0");
  EXPECT_EQ(Ask("counters"), "counters 1 1 1 1 3 0");
  // Executions deliver in order; an empty FIFO still reports the drops.
  EXPECT_EQ(Ask("execute"), "execute 0 1");
  EXPECT_TRUE(Logged("QelManExecuteCallback => Fifo overflow (1)"));
  EXPECT_TRUE(Logged("QelManExecuteCallback => Unexpected callback (1)"));
  EXPECT_EQ(Ask("execute"), "execute 0 2");
  EXPECT_EQ(Ask("execute"), "execute 0 3");
  EXPECT_EQ(Ask("execute"), "execute 0 3");
  EXPECT_EQ(Ask("counters"), "counters 1 0 1 0 3 3");
  // The slots wrap around.
  EXPECT_EQ(Ask("queue 3"), "queue 0");
  EXPECT_EQ(Ask("counters"), "counters 1 0 1 0 6 3");
  EXPECT_EQ(Ask("destroy"), "fifo 0");
  EXPECT_EQ(Ask("execute"), "execute 0 3");
}

}  // namespace
