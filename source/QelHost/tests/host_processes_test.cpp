// The host messaging layer between real processes of one machine: the tables
// in the library's shared section, messages in the machine-wide pool. Until
// the SDK's lock serialises them, the test runs one step at a time.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/physical_memory.h"

namespace {

using plat::testing::ChildProcess;

class HostProcesses : public ::testing::Test {
 protected:
  ChildProcess& Start() {
    processes_.push_back(std::make_unique<ChildProcess>("quillet-helper-host", std::vector<std::string>{}));
    EXPECT_EQ(processes_.back()->read_line(), "ready");
    return *processes_.back();
  }
  static std::string Ask(ChildProcess& process, const std::string& line) {
    process.write_line(line);
    return process.read_line();
  }
  // The value after "<word> " in an answer.
  static std::string After(const std::string& answer, const std::string& word) {
    return answer.rfind(word + " ", 0) == 0 ? answer.substr(word.size() + 1) : "(" + answer + ")";
  }
  static bool Logged(const std::string& text) {
    return plat::support::read_machine_log().find(text) != std::string::npos;
  }

  plat::testing::ScopedMachine machine_;
  std::vector<std::unique_ptr<ChildProcess>> processes_;
};

// The 36-byte header an answer for transaction `id` carries, as hex, with the
// given payload after it.
std::string AnswerBytes(std::uint32_t id, const std::string& payloadHex) {
  const std::uint32_t size = 36 + static_cast<std::uint32_t>(payloadHex.size() / 2);
  const std::uint32_t words[9] = {size, id, 1, 0, 0, 0, 0, 0, 0};
  std::string hex;
  char pair[3];
  for (std::uint32_t word : words)
    for (int byte = 0; byte < 4; ++byte) {
      std::snprintf(pair, sizeof pair, "%02x", (word >> (8 * byte)) & 0xFF);
      hex += pair;
    }
  return hex + payloadHex;
}

TEST_F(HostProcesses, AnAnswerFromAnotherProcessWakesTheWaiterWithTheSameBytes) {
  ChildProcess& waiter = Start();
  ChildProcess& server = Start();
  const std::string id = After(Ask(waiter, "take event"), "id");
  EXPECT_EQ(Ask(waiter, "wait 0"), "timeout");
  const std::string payload = "0102030405060708090a0b0c0d0e0f10deadbeef";
  EXPECT_EQ(Ask(server, "answer " + id + " " + payload), "status 0");
  EXPECT_EQ(Ask(waiter, "wait 10000"), "signalled");
  EXPECT_EQ(Ask(waiter, "get " + id), "message " + AnswerBytes(std::stoul(id), payload));
  EXPECT_EQ(Ask(waiter, "get " + id), "status 97");
  // Taken and freed: nothing of the exchange is left in the pool.
  EXPECT_EQ(Ask(server, "blocks"), "blocks 0");
}

TEST_F(HostProcesses, TheTableAndARingAreBoundedAndSayWhy) {
  ChildProcess& owner = Start();
  ChildProcess& other = Start();
  const std::string id = After(Ask(owner, "take"), "id");
  // Another process fills the rest of the table: the 33rd is refused.
  EXPECT_EQ(Ask(other, "takeall"), "taken 31 status 1048647");
  EXPECT_TRUE(Logged("QELHOST: HOSTNEWTRANSAC => Transaction table is full (32)"));
  // One ring holds 127 messages; the 128th is refused and freed by its sender.
  EXPECT_EQ(Ask(other, "answers " + id + " 128"), "sent 127 status 96");
  EXPECT_EQ(Ask(other, "blocks"), "blocks 127");
  // Freeing the transaction frees what it still held.
  EXPECT_EQ(Ask(owner, "free " + id), "status 0");
  EXPECT_EQ(Ask(other, "blocks"), "blocks 0");
}

TEST_F(HostProcesses, AnAnswerForAReusedSlotIsRefused) {
  ChildProcess& owner = Start();
  ChildProcess& server = Start();
  const std::string stale = After(Ask(owner, "take"), "id");
  EXPECT_EQ(Ask(owner, "free " + stale), "status 0");
  const std::string fresh = After(Ask(owner, "take"), "id");
  ASSERT_NE(fresh, stale);
  EXPECT_EQ(std::stoul(fresh) & 31, std::stoul(stale) & 31);
  EXPECT_EQ(Ask(server, "answer " + stale + " 55"), "status 95");
  EXPECT_TRUE(Logged("QELHOST: HOSTGETTRANSACPTR => Server not found (" + fresh + " != " + stale + ")"));
  EXPECT_EQ(Ask(server, "blocks"), "blocks 0");
  EXPECT_EQ(Ask(owner, "get " + fresh), "status 97");
}

TEST_F(HostProcesses, ADeadWaitersTransactionIsReclaimedByTheNextTaker) {
  ChildProcess& waiter = Start();
  ChildProcess& server = Start();
  const std::string id = After(Ask(waiter, "take event"), "id");
  EXPECT_EQ(Ask(waiter, "takeall"), "taken 31 status 1048647");
  EXPECT_EQ(Ask(server, "answers " + id + " 3"), "sent 3 status 0");
  waiter.kill_hard();
  // The table was full of the dead process's transactions: the next taker
  // finds them given back, with the messages they held.
  const std::string taken = After(Ask(server, "take"), "id");
  EXPECT_EQ(std::stoul(taken) & 31, 0u);
  EXPECT_TRUE(Logged("QELHOST: HOSTNEWTRANSAC => Transaction " + id + " of dead process"));
  EXPECT_EQ(Ask(server, "blocks"), "blocks 0");
  EXPECT_EQ(Ask(server, "takeall"), "taken 31 status 1048647");
}

TEST_F(HostProcesses, SequenceWrapsWithoutIdZeroAcrossProcesses) {
  ChildProcess& first = Start();
  ChildProcess& second = Start();
  EXPECT_EQ(Ask(first, "sequence 4294967295"), "ok");
  // Sequence 0xFFFFFFFF in slot 0, then the counter goes on at 1.
  EXPECT_EQ(Ask(first, "take"), "id " + std::to_string(0xFFFFFFFFu << 5));
  EXPECT_EQ(Ask(second, "take"), "id " + std::to_string((1u << 5) + 1));
  EXPECT_EQ(Ask(first, "free " + std::to_string(0xFFFFFFFFu << 5)), "status 0");
  EXPECT_EQ(Ask(second, "sequence 134217728"), "ok");  // 2^27: slot 0 would make id 0
  EXPECT_EQ(Ask(second, "take"), "id " + std::to_string((134217729u << 5)));
}

TEST_F(HostProcesses, RoutesToTheParentAndToAChildThroughAnotherProcessesPortServer) {
  ChildProcess& relay = Start();
  ChildProcess& board = Start();
  // The relay's port server 62 queues what its ports receive.
  EXPECT_EQ(Ask(relay, "portserver 62 1"), "status 0");
  EXPECT_EQ(Ask(relay, "port 0 62"), "status 0");
  EXPECT_EQ(Ask(relay, "port 222 62"), "status 0");
  // A board's server: its parent is reached through port 0.
  EXPECT_EQ(Ask(board, "address 0x01DE0100"), "ok");
  EXPECT_EQ(Ask(board, "send 0x01000000 1005 c0ffee"), "status 0");
  EXPECT_EQ(Ask(relay, "psmsg 62"), "message 0 c0ffee");
  // The SDK host: a board's server is its child on port 222 (byte 2).
  EXPECT_EQ(Ask(board, "address 0x01000000"), "ok");
  EXPECT_EQ(Ask(board, "send 0x01DE0100 4001 beef"), "status 0");
  EXPECT_EQ(Ask(relay, "psmsg 62"), "message 222 beef");
  // Port 223 is not open.
  EXPECT_EQ(Ask(board, "send 0x01DF0100 4001 beef"), "status 95");
  EXPECT_EQ(Ask(relay, "psmsg 62"), "status 97");
  EXPECT_EQ(Ask(board, "blocks"), "blocks 0");
}

TEST_F(HostProcesses, ContiguousAndLockedBuffersAreReachedByTheBoardsDmaAndGivenBack) {
  plat::testing::KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  ChildProcess& process = Start();
  const std::uint64_t physical = std::stoull(After(Ask(process, "contig 10000"), "contig"));
  EXPECT_LT(physical + 10000, 0x100000000ull);
  const std::vector<std::byte> bytes = {std::byte{0xAB}, std::byte{0xCD}, std::byte{0xEF}};
  ASSERT_EQ(plat::testing::board_control_dma_write(0, physical + 9000, bytes), 0);
  EXPECT_EQ(Ask(process, "bytes contig 8999 5"), "bytes 00abcdef00");

  // 9000 bytes from offset 100 of a page touch three pages.
  std::istringstream list(After(Ask(process, "sglock 9000"), "sg"));
  std::vector<std::uint64_t> entries;
  for (std::uint64_t value = 0; list >> value;) entries.push_back(value);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[1] + entries[3] + entries[5], 9000u);
  ASSERT_EQ(plat::testing::board_control_dma_write(0, entries[2], bytes), 0);  // the second piece
  EXPECT_EQ(Ask(process, "bytes sg " + std::to_string(entries[1]) + " 3"), "bytes abcdef");

  EXPECT_EQ(Ask(process, "release"), "status 0 0");
  EXPECT_NE(plat::testing::board_control_dma_write(0, entries[2], bytes), 0);
  // Every byte of the simulated memory is free again.
  plat::PhysicalArena arena{};
  ASSERT_TRUE(plat::physical_arena(&arena));
  plat::ContiguousMemory whole{};
  ASSERT_TRUE(plat::allocate_contiguous(arena.size, 0, 0, 0, &whole));
  EXPECT_TRUE(plat::free_contiguous(whole.physical));
}

}  // namespace
