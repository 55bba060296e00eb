// Transfer commands 16000-16021 from a client process, through "QelApi.dll",
// the device-control module and the server driver.
#include "source/QelXfer/tests/xfer_road_support.h"

namespace {

using namespace xfer_road;
using plat::testing::ChildProcess;

class XferCommands : public road_test::Road {
 protected:
  void SetUp() override {
    Road::SetUp();
    client_ = &Start("quillet-helper-xferclient");
    ASSERT_EQ(Ask(*client_, "open"), "open 0");
  }

  Answer Send(std::uint32_t command, const std::string& hex, std::uint32_t board = 0) {
    return ParseAnswer(Ask(*client_, "send " + std::to_string(board) + " " + std::to_string(command) + " " + hex));
  }

  // A new transfer from a source to a destination; its handle's hex.
  std::string New(const std::string& source, const std::string& destination) {
    const Answer answer = Send(16000, ServerHex() + source + destination + Zeros(20));
    EXPECT_EQ(answer.status, 0u);
    return answer.payload.substr(0, 64);
  }

  plat::testing::ChildProcess* client_ = nullptr;
  const std::string acq_ = HandleHex(0x100, kQelTagAcqDevice, 0x1000);
  const std::string host1_ = HandleHex(kLocalServer, kQelTagBuffer, 0x2000);
  const std::string host2_ = HandleHex(kLocalServer, kQelTagBuffer, 0x3000);
};

TEST_F(XferCommands, CommandsWithoutHandlerAndValuesSizedByTheirId) {
  for (std::uint32_t command : {16016u, 16017u}) {
    const Answer answer = Send(command, ServerHex());
    EXPECT_EQ(answer.status, 70u) << command;
    EXPECT_EQ(answer.payload, "") << command;
  }
  EXPECT_EQ(Send(16018, ServerHex()).status, 0u);
  const std::string xfer = New(acq_, host1_);
  const Answer cap = Send(16006, xfer + Word(0x1C0004));
  EXPECT_EQ(cap.status, 0u);
  EXPECT_EQ(cap.payload, Word(0x80000));
  const Answer prm = Send(16007, xfer + Word(0xD0004));
  EXPECT_EQ(prm.status, 0u);
  EXPECT_EQ(prm.payload, Word(4000));
  // An 8-byte id answers 8 bytes: the callback server's address and its zero word.
  EXPECT_EQ(Send(16007, xfer + Word(0xF0008)).payload, Zeros(8));
  EXPECT_EQ(Send(16008, xfer + Word(0xC0004) + Word(2)).status, 0u);
  EXPECT_EQ(Send(16007, xfer + Word(0xC0004)).payload, Word(2));
  EXPECT_EQ(Send(16001, xfer).status, 0u);
  EXPECT_EQ(Send(16007, xfer + Word(0xC0004)).status, 0x4C01301u);
}

TEST_F(XferCommands, PairsGroupByKindAndTheRefusalsFollowTheRules) {
  const std::string xfer = New(acq_, host1_);
  EXPECT_EQ(Send(16005, xfer + acq_ + host2_ + Zeros(20)).status, 0u);
  // A host buffer of another server may not join the host buffers' group.
  EXPECT_EQ(Send(16005, xfer + acq_ + HandleHex(0x01000000, kQelTagBuffer, 0x4000) + Zeros(20)).status, 0x4C0005Au);
  // A host buffer feeding a host buffer: no board serves that combination.
  EXPECT_EQ(Send(16020, xfer + host1_ + Word(0) + host2_ + Word(0) + Zeros(20)).status, 0x4C0004Du);
  const std::string callback = ServerHex(kLocalServer) + Quad(0x1234) + Quad(0x5678) + Word(0x800000);
  EXPECT_EQ(Send(16013, xfer + callback).status, 0u);
  EXPECT_EQ(Send(16013, xfer + callback).status, 0x4C00054u);
  EXPECT_EQ(Send(16014, xfer + Quad(0x1234)).status, 0u);
  EXPECT_EQ(Send(16010, xfer).status, 0x4C00058u);
  EXPECT_EQ(Send(16004, xfer).status, 0u);
  EXPECT_EQ(Send(16002, xfer).status, 0x4C0005Bu);
  EXPECT_EQ(Send(16001, xfer).status, 0u);
}

// A contiguous buffer asked of the board's server lives in the board's memory
// (the on-board allocator has less to give) until it is freed; other
// requests still make host buffers.
TEST_F(XferCommands, BoardServerMakesOnBoardBuffersAndFreesThem) {
  const auto free = [this] { return std::stoul(Ask(*client_, "free 0 0").substr(5)); };
  const unsigned long before = free();
  const Answer made = Send(9001, ServerHex() + Word(1024) + Word(1024) + Word(0x1010800) + Word(1));
  ASSERT_EQ(made.status, 0u);
  const std::string buffer = made.payload.substr(0, 64);
  EXPECT_EQ(buffer.substr(0, 8), Word(kBoardServer));
  EXPECT_EQ(free(), before - 1024);
  const Answer host = Send(9001, ServerHex() + Word(1024) + Word(1024) + Word(0x1010800) + Word(0));
  ASSERT_EQ(host.status, 0u);
  EXPECT_EQ(free(), before - 1024);
  EXPECT_EQ(Send(9000, buffer).status, 0u);
  EXPECT_EQ(free(), before);
  EXPECT_EQ(Send(9000, host.payload.substr(0, 64)).status, 0u);
  EXPECT_EQ(Send(9000, buffer).status, 0x800201u);  // already freed
}

// The board's memory held by a process killed with SIGKILL is given back:
// another process's allocator has it all again.
TEST_F(XferCommands, OnBoardBuffersOfAKilledProcessAreGivenBack) {
  const auto free = [](ChildProcess& c) { return std::stoul(Ask(c, "free 0 0").substr(5)); };
  const unsigned long before = free(*client_);
  ASSERT_EQ(Send(9001, ServerHex() + Word(1024) + Word(1024) + Word(0x1010800) + Word(1)).status, 0u);
  EXPECT_EQ(free(*client_), before - 1024);
  client_->kill_hard();
  std::erase_if(processes_, [&](const std::unique_ptr<ChildProcess>& p) { return p.get() == client_; });
  ChildProcess& next = Start("quillet-helper-xferclient");
  ASSERT_EQ(Ask(next, "open"), "open 0");
  EXPECT_EQ(free(next), before);
}

TEST_F(XferCommands, ShortRequestsAreRefusedAndNothingIsMade) {
  EXPECT_EQ(Send(16000, ServerHex() + acq_).status, 0x4C00135u);
  EXPECT_EQ(Send(16008, ServerHex() + Word(0xC0004)).status, 0x4C00135u);
  EXPECT_EQ(Send(16002, ServerHex()).status, 0x4C01301u);  // a server handle is no transfer
}

}  // namespace
