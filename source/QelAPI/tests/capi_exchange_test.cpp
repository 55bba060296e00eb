// The client stubs' exchange against a test handler range of a server in
// another process's own instance: the busy retry, the repetition and its
// bound, the unpacking, and nothing of the exchange kept afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"

namespace {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

class CapiExchange : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(process_.read_line(60s), "ready"); }
  std::string Ask(const std::string& line) {
    process_.write_line(line);
    return process_.read_line(60s);
  }
  // The status and the number of requests of a call's reply.
  static std::pair<std::uint64_t, std::uint64_t> StatusAndRequests(const std::string& reply) {
    std::istringstream in(reply);
    std::string word;
    std::uint64_t status = 0, requests = 0;
    in >> word >> status >> requests;
    return {status, requests};
  }
  plat::testing::ScopedMachine machine_;
  ChildProcess process_{"quillet-helper-capi", {}};
};

TEST_F(CapiExchange, ABusyServerIsAskedAgainWithTheSameRequestUntilItAnswers) {
  Ask("script 0x80006B 0x80006B 0x80006B 0");
  EXPECT_EQ(Ask("call 1 2000"), "call 0 4 42 41 41 41 41");
}

TEST_F(CapiExchange, WithoutTheBusyRetryTheBusyStatusComesBackAtOnce) {
  Ask("script 0x30006B 0");
  EXPECT_EQ(Ask("call 0 2000"), "call " + std::to_string(0x30006B) + " 1 0 41");
}

TEST_F(CapiExchange, AServerBusyForEverGivesItsBusyStatusBack) {
  Ask("script 0x80006B");
  const auto [status, requests] = StatusAndRequests(Ask("call 1 2000"));
  EXPECT_EQ(status, 0x80006Bu);
  EXPECT_GT(requests, 2u);
}

TEST_F(CapiExchange, ARepetitionSendsAFreshRequestAndTheFirstOtherStatusIsReturned) {
  Ask("script 0x80007E 0x80007E 0x800233");
  // Nothing is read from an answer that failed.
  EXPECT_EQ(Ask("call 1 2000"), "call " + std::to_string(0x800233) + " 3 0 41 41 41");
}

// Ten time-outs of 200 ms: a first exchange slowed by a loaded host still
// leaves room for repetitions before the bound.
TEST_F(CapiExchange, RepetitionsEndAfterTenTimeOutsWithALogLine) {
  Ask("script 0x80007E");
  const auto [status, requests] = StatusAndRequests(Ask("call 1 200"));
  EXPECT_EQ(status, 0x80007Eu);
  EXPECT_GT(requests, 1u);
  EXPECT_TRUE(plat::testing::machine_log_shows({"still asked for repetition"}, 30s));
}

TEST_F(CapiExchange, EveryEventAndMessageIsGivenBack) {
  Ask("script 0x80006B 0x80007E 0");
  // 64 events in the pool: a leak of one per exchange would run it dry.
  for (int i = 0; i < 70; ++i) ASSERT_EQ(StatusAndRequests(Ask("call 1 2000")).first, 0u);
  EXPECT_EQ(Ask("events"), "events 0");
}

TEST_F(CapiExchange, AFailedCreationLeavesNoClientBlockAndAFailedFreeKeepsIt) {
  Ask("script 0x800535");
  EXPECT_EQ(Ask("create"), "create " + std::to_string(0x800535) + " 0 0");
  // A busy server is waited for; the handle carries the calling server's address.
  Ask("script 0x80006B 0");
  EXPECT_EQ(Ask("create"), "create 0 1 " + std::to_string(0x01DE0100));
  Ask("script 0x800055");
  EXPECT_EQ(Ask("free"), "free " + std::to_string(0x800055) + " 1");
  Ask("script 0");
  EXPECT_EQ(Ask("free"), "free 0 0");
}

}  // namespace
