// The manager client stubs against the servers of a whole instance serving two
// boards (quillet-helper-capiroad): a callback sent to the board that is not
// the library's current one, and the wait for a ready server.
#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;
using plat::testing::ChildProcess;

class CapiManagerRoad : public Road {
 protected:
  ChildProcess& Instance() {
    ChildProcess& process = Start("quillet-helper-capiroad");
    EXPECT_EQ(Ask(process, "host"), "host 0");
    return process;
  }
  // A request to board b's server makes b the library's current board.
  static void MakeCurrent(ChildProcess& process, std::uint32_t board) {
    const std::string server = Word(0x01DE0000u | ((board + 1) << 8)) + Word(0) + Word(0) + Quad(0) +
                               Word(0xcccc0040) + Quad(0);
    ASSERT_EQ(Ask(process, "send " + std::to_string(board) + " 4000 " + server).substr(0, 11), "answer 0 0 ");
  }
};

// The library answers for one board at a time; a callback to the other
// board's server goes up to the SDK, which brings it back to that server, and
// the client's function runs.
TEST_F(CapiManagerRoad, ACallbackToTheBoardThatIsNotCurrentReachesTheClient) {
  ChildProcess& process = Instance();
  struct Case {
    std::uint32_t current;
    std::uint32_t target;
    const char* expected;
  };
  const Case cases[] = {{0, 0, "callback 0 1 42 3 7"}, {1, 0, "callback 0 2 42 3 7"}, {0, 1, "callback 0 3 43 3 7"},
                        {1, 1, "callback 0 4 43 3 7"}};
  for (const Case& c : cases) {
    MakeCurrent(process, c.current);
    EXPECT_EQ(Ask(process, "callback " + std::to_string(c.target)), c.expected) << c.current << " " << c.target;
  }
}

// Board servers of an opened instance answer the ready probe at once.
TEST_F(CapiManagerRoad, TheServersOfAnOpenedInstanceAreReady) {
  ChildProcess& process = Instance();
  EXPECT_EQ(Ask(process, "ready 0 5"), "ready 0");
  EXPECT_EQ(Ask(process, "ready 1 5"), "ready 0");
}

}  // namespace
