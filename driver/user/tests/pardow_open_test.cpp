// Open and close of the board library and its manager requests, through the
// real path: processes that load "Pardow.DLL", the kernel host and the driver.
#include <string>
#include <vector>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/testing/board_control.h"

namespace {

using pardow_test::PardowMachine;
using plat::testing::ChildProcess;
using namespace std::chrono_literals;

constexpr const char* kTwoBoards[] = {"FolvantX4Full", "FolvantX4Dual"};

// "shared" answers: load count, board count, slot mask, init error, debug level.
class LibraryOpen : public PardowMachine {
 protected:
  void start_two_boards() { start_host({kTwoBoards[0], kTwoBoards[1]}); }
};

TEST_F(LibraryOpen, WithoutAKernelHostTheOpenFailsAndGivesTheSlotBack) {
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "open"), "-3004");
  // Still marked opened with the load count raised, so that the close undoes it.
  EXPECT_EQ(ask(c, "shared"), "1 0 0 -3004 0");
  EXPECT_EQ(ask(c, "close"), "0");
  EXPECT_EQ(ask(c, "shared"), "0 0 0 -3004 0");
  finish(c);
}

TEST_F(LibraryOpen, WithoutTheDriverDirectoryTheOpenFailsWithItsLines) {
  ::unsetenv("YATFOLVA4XDIR");
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "open"), "-2009");
  EXPECT_EQ(ask(c, "shared"), "1 0 0 -2009 0");
  EXPECT_TRUE(log_shows({"Pardow.DLL, SetConfigPathName: Could not get Environment Variable 'YATFOLVA4XDIR' ",
                         "Pardow.DLL: VkmInit: QelWinSetModuleOptions"}));
  EXPECT_EQ(ask(c, "close"), "0");
  finish(c);
}

TEST_F(LibraryOpen, RequestsBeforeTheOpenAnswerWithoutReachingTheDriver) {
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "nb"), "-3004 0");
  EXPECT_EQ(ask(c, "addrsize 0"), "0 262144");
  EXPECT_EQ(ask(c, "read 0 0x18000"), "-3 0");
  // A request that is sent fails without a device.
  EXPECT_EQ(ask(c, "read 0 0x800"), "-3001 0");
  EXPECT_EQ(ask(c, "isinit 16"), "0");
  finish(c);
}

TEST_F(LibraryOpen, TwoProcessesShareTheBoardTableAndTheLastCloseStartsAfresh) {
  start_two_boards();
  ChildProcess& a = client();
  ChildProcess& b = client();
  ASSERT_EQ(ask(a, "open"), "0");
  ASSERT_EQ(ask(b, "open"), "0");
  EXPECT_EQ(ask(a, "nb"), "0 2");
  EXPECT_EQ(ask(b, "nb"), "0 2");
  EXPECT_EQ(ask(a, "shared"), "2 2 3 0 0");
  EXPECT_EQ(ask(a, "isinit 1"), "1");
  const std::string slotA = ask(a, "pid");
  const std::string slotB = ask(b, "pid");
  EXPECT_EQ(slotA.rfind("0 ", 0), 0u) << slotA;
  EXPECT_NE(slotA, slotB);
  // A repeated open is a no-op that stores 0 as the init error.
  EXPECT_EQ(ask(a, "open"), "0");
  EXPECT_EQ(ask(a, "initerr"), "0");
  EXPECT_EQ(ask(b, "debug 3"), "0");
  EXPECT_EQ(ask(a, "shared"), "2 2 3 0 3");
  EXPECT_EQ(pardow_test::PardowMachine::log_count("Found 2 Tramond-CL_RZ6 Board(s)"), 1u);

  EXPECT_EQ(ask(a, "close"), "0");
  EXPECT_EQ(ask(b, "shared"), "1 2 2 0 3");
  EXPECT_EQ(ask(b, "close"), "0");
  EXPECT_EQ(ask(b, "shared"), "0 2 0 0 3");
  finish(a);
  finish(b);

  // Nobody holds the section any more: the next process sees it new and is the first again.
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "shared"), "0 0 0 0 0");
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "shared"), "1 2 1 0 0");
  EXPECT_TRUE(log_shows({"Found 2 Tramond-CL_RZ6 Board(s)", "Found 2 Tramond-CL_RZ6 Board(s)"}));
  EXPECT_EQ(ask(c, "close"), "0");
  finish(c);
}

TEST_F(LibraryOpen, TheThirtyThirdProcessFindsNoSlot) {
  start_host({kTwoBoards[0]});
  for (int i = 0; i < 32; ++i) client();
  for (auto& c : clients_) c->write_line("open");
  // The driver keeps 16 process slots: the processes past them hold a
  // library slot but cannot register their message client.
  int opened = 0, unregistered = 0;
  for (auto& c : clients_) {
    const std::string answer = c->read_line(120s);
    opened += answer == "0";
    unregistered += answer == std::to_string(QELHW_ERROR_DRIVER_STATUS);
  }
  EXPECT_EQ(opened, 16);
  EXPECT_EQ(unregistered, 16);
  EXPECT_EQ(log_count("INITINSTANCE => Cannot register messages client"), 16u);
  ChildProcess& last = client();
  EXPECT_EQ(ask(last, "open"), "-3006");
  EXPECT_EQ(ask(last, "shared"), "33 1 4294967295 -3006 0");
  EXPECT_EQ(ask(last, "close"), "0");
  for (auto& c : clients_) c->write_line("close");
  for (auto& c : clients_) EXPECT_EQ(c->read_line(120s), "0");
  EXPECT_EQ(ask(last, "shared"), "0 1 0 -3006 0");
}

class ManagerRequests : public PardowMachine {
 protected:
  void SetUp() override {
    PardowMachine::SetUp();
    start_host({kTwoBoards[0], kTwoBoards[1]});
    c_ = &client();
    ASSERT_EQ(ask(*c_, "open"), "0");
  }
  ChildProcess* c_ = nullptr;
};

TEST_F(ManagerRequests, RegisterAccessReachesTheBoardsRegisterFile) {
  EXPECT_EQ(ask(*c_, "write 1 0x800 0x5A5A1234"), "0");
  std::uint32_t value = 0;
  ASSERT_EQ(plat::testing::board_control_register_read(1, 0x800, &value), 0);
  EXPECT_EQ(value, 0x5A5A1234u);
  // Board 0 is another register file.
  ASSERT_EQ(plat::testing::board_control_register_read(0, 0x800, &value), 0);
  EXPECT_EQ(value, 0u);
  // Bit 0 of 0x1000C would reconfigure the board from flash.
  ASSERT_EQ(plat::testing::board_control_register_write(0, 0x1000C, 0xCAFE0010), 0);
  EXPECT_EQ(ask(*c_, "read 0 0x1000C"), "0 " + std::to_string(0xCAFE0010u));
  EXPECT_EQ(ask(*c_, "read 0 0x18000"), "-3 0");
  EXPECT_EQ(ask(*c_, "write 0 0x18000 1"), "-3");
}

TEST_F(ManagerRequests, AStampedRequestForBoardSixteenOrMoreIsNotSent) {
  EXPECT_EQ(ask(*c_, "freeall 16"), "-3001");
  EXPECT_EQ(ask(*c_, "freeall 0x80000000"), "-3001");
  EXPECT_TRUE(log_shows({"YatDeviceIoControl boardindex 16 >= max 16", "Yat_Man_MemoryManager_FreeAll Failed 0 0",
                         "YatDeviceIoControl boardindex -2147483648 >= max 16"}));
  EXPECT_EQ(ask(*c_, "freeall 1"), "0");
}

TEST_F(ManagerRequests, ADriverStatusIsLoggedByItsName) {
  EXPECT_EQ(ask(*c_, "seterror 1 -8001"), "0");
  EXPECT_EQ(ask(*c_, "write 1 0x800 7"), std::to_string(QELHW_ERROR_DRIVER_STATUS));
  EXPECT_TRUE(log_shows({"Pardow.DLL: Yat_WriteData(00000800) status QELHW_ERROR_FPGA_NOT_PRESENT ,ffffe0bf"}));
  // The other board still answers.
  EXPECT_EQ(ask(*c_, "write 0 0x800 7"), "0");
}

}  // namespace
