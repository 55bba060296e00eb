// The module's start-up takes a board's named mutex before its critical
// section, as requests do: a request of the same process that holds the board
// while the start-up reaches it is served, and the start-up goes on once the
// request is done instead of giving the board up when its wait runs out; a
// board the start did give up is not served.
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/tests/acq_client_fixture.h"

namespace acq_device_test {
namespace {

class AcqStartOverlap : public AcqClientRoad {};

TEST_F(AcqStartOverlap, ARequestHoldingABoardWhileTheStartUpReachesItLeavesTheBoardInitialised) {
  StartBoards({Factory("FolvantX4Dual")});
  client_ = std::make_unique<ChildProcess>("quillet-helper-acqclient", std::vector<std::string>{});
  ASSERT_EQ(client_->read_line(60s), "ready");
  EXPECT_EQ(Ask(*client_, "overlap 0"), "overlap 1 0");
  EXPECT_EQ(LogLines("could not be initialised"), std::vector<std::string>{});
  Device(0);  // opened and its window set: the board's devices are served
}

// A start that cannot have a board (another process holds its mutex past the
// wait) leaves that board unserved: opening one of its devices is refused
// instead of answering success with no handle and the device left open.
TEST_F(AcqStartOverlap, ABoardTheStartGaveUpServesNoDevice) {
  StartBoards({Factory("FolvantX4Dual")});
  auto held = std::make_unique<AcqBoardMutex>(0);
  ASSERT_TRUE(held->held());
  StartClient();
  held.reset();
  EXPECT_EQ(LogLines("board 0 could not be initialised (0x400080)").size(), 1u);
  const Answer opened = Send(0, 4001, Server(0) + Word(0));
  EXPECT_EQ(opened.status, kQelModuleAcquisition | 0x133);
  EXPECT_EQ(opened.payload.substr(0, 16), std::string(16, '0')) << "no handle";
}

}  // namespace
}  // namespace acq_device_test
