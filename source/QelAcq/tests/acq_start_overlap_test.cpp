// The module's start-up takes a board's named mutex before its critical
// section, as requests do: a request of the same process that holds the board
// while the start-up reaches it is served, and the start-up goes on once the
// request is done instead of giving the board up when its wait runs out.
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

}  // namespace
}  // namespace acq_device_test
