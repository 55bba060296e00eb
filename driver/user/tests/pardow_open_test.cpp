// Open and close of the board library and its manager requests, through the
// real path: processes that load "Pardow.DLL", the kernel host and the driver.
#include <array>
#include <string>
#include <vector>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/control_protocol.h"
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

TEST_F(LibraryOpen, AnOpenWithoutAKernelHostUndoesItselfAndTheNextOpenWorks) {
  ChildProcess& a = client();
  EXPECT_EQ(ask(a, "open"), "-3004");
  // Nothing is left taken: no slot, no load count, the process not open.
  EXPECT_EQ(ask(a, "shared"), "0 0 0 -3004 0");
  EXPECT_EQ(ask(a, "holders"), "none");
  EXPECT_EQ(ask(a, "close"), "0");

  start_two_boards();
  EXPECT_EQ(ask(a, "open"), "0");
  EXPECT_EQ(ask(a, "nb"), "0 2");
  EXPECT_EQ(ask(a, "shared"), "1 2 1 0 0");
  // A second process finds the boards the first one initialised.
  ChildProcess& b = client();
  EXPECT_EQ(ask(b, "open"), "0");
  EXPECT_EQ(ask(b, "nb"), "0 2");
  EXPECT_EQ(ask(b, "isinit 0"), "1");
  EXPECT_EQ(ask(b, "isinit 1"), "1");
  EXPECT_EQ(ask(b, "shared"), "2 2 3 0 0");
  EXPECT_EQ(ask(b, "read 1 0x10004").rfind("0 ", 0), 0u);
  EXPECT_EQ(ask(b, "close"), "0");
  EXPECT_EQ(ask(a, "close"), "0");
  finish(a);
  finish(b);
}

TEST_F(LibraryOpen, WithoutTheDriverDirectoryTheOpenFailsWithItsLines) {
  ::unsetenv("YATFOLVA4XDIR");
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "open"), "-2009");
  EXPECT_EQ(ask(c, "shared"), "0 0 0 -2009 0");
  EXPECT_TRUE(log_shows({"Pardow.DLL, SetConfigPathName: Could not get Environment Variable 'YATFOLVA4XDIR' ",
                         "Pardow.DLL: VkmInit: QelWinSetModuleOptions"}));
  EXPECT_EQ(ask(c, "close"), "0");
  finish(c);
}

TEST_F(LibraryOpen, ASectionThatCannotBeMappedFailsTheOpenAndTouchesNoBoard) {
  start_two_boards();
  ChildProcess& other = client();
  ASSERT_EQ(ask(other, "holdsmall"), "0");
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "open"), std::to_string(QELHW_ERROR_SYSTEM_RESOURCE));
  EXPECT_TRUE(log_shows({"Pardow.DLL: QelHw_Open: the shared data section Pardow.DLL cannot be mapped"}));
  EXPECT_EQ(log_count("Found 2 Tramond-CL_RZ6 Board(s)"), 0u);
  EXPECT_EQ(ask(c, "nb"), "-3004 0");
  finish(c);
  finish(other);
}

TEST_F(LibraryOpen, GetInitializationErrorReportsAFailedInitialisationUntilAnOpenSucceeds) {
  start_host({kTwoBoards[0]});
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), plat::board::kControlOk);
  const std::array<std::uint8_t, 1> erased{0xFF};
  ASSERT_EQ(plat::testing::board_control_eeprom_program(0, 0xA0, erased), plat::board::kControlOk);
  ChildProcess& c = client();
  const std::string failed = std::to_string(QELHW_ERROR_EEPROM_NOT_INITIALIZED);
  EXPECT_EQ(ask(c, "open"), failed);
  EXPECT_EQ(ask(c, "initerr"), failed) << "each call opens again, and fails again";
  EXPECT_EQ(ask(c, "isinit 0"), "0");
  EXPECT_EQ(ask(c, "shared"), "0 1 0 " + failed + " 0");
  ASSERT_EQ(plat::testing::board_control_eeprom_program(0, 0xA0, image), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "initerr"), "0");
  EXPECT_EQ(ask(c, "isinit 0"), "1");
  EXPECT_EQ(ask(c, "shared"), "1 1 1 0 0");
  EXPECT_EQ(log_count("Found 1 Tramond-CL_RZ6 Board(s)"), 3u) << "every open that failed was the first again";
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
  // A repeated open is a no-op that stores nothing.
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

TEST_F(LibraryOpen, ProcessesPastTheDriversSixteenGiveTheirSlotBack) {
  start_host({kTwoBoards[0]});
  for (int i = 0; i < 18; ++i) client();
  for (auto& c : clients_) c->write_line("open");
  // The driver keeps 16 process slots: the processes past them cannot
  // register their message client, and their open undoes itself.
  int opened = 0, unregistered = 0;
  for (auto& c : clients_) {
    const std::string answer = c->read_line(120s);
    opened += answer == "0";
    unregistered += answer == std::to_string(QELHW_ERROR_DRIVER_STATUS);
  }
  EXPECT_EQ(opened, 16);
  EXPECT_EQ(unregistered, 2);
  EXPECT_EQ(log_count("INITINSTANCE => Cannot register messages client"), 2u);
  EXPECT_EQ(log_count("IOCTL_UNREGISTER_MSGEVENT Failed"), 0u);
  const std::string shared = ask(*clients_[0], "shared");
  EXPECT_EQ(shared.substr(0, 5), "16 1 ") << shared;
  for (auto& c : clients_) c->write_line("close");
  for (auto& c : clients_) EXPECT_EQ(c->read_line(120s), "0");
  EXPECT_EQ(ask(*clients_[0], "shared").substr(0, 6), "0 1 0 ");
}

TEST_F(LibraryOpen, ThirtyTwoLivingHoldersRefuseTheNextOpenAndDeadOnesAreReclaimed) {
  start_host({kTwoBoards[0]});
  ChildProcess& filler = client();
  ASSERT_EQ(ask(filler, "fillslots"), "0");
  const std::string fillerPid = ask(filler, "self");
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "open"), "-3006");
  EXPECT_EQ(ask(c, "shared"), "0 0 4294967295 -3006 0");
  filler.kill_hard();
  EXPECT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(log_count("Process " + fillerPid + " ended without closing the library"), 32u);
  EXPECT_EQ(ask(c, "shared"), "1 1 1 0 0");
  EXPECT_EQ(ask(c, "holders"), "1:" + ask(c, "self"));
  EXPECT_EQ(ask(c, "close"), "0");
  finish(c);
}

TEST_F(LibraryOpen, ProcessesKilledWithTheLibraryOpenNeverUseUpTheSlots) {
  start_host({kTwoBoards[0]});
  ChildProcess& a = client();
  ASSERT_EQ(ask(a, "open"), "0");
  // Three rounds of eleven crashes: more than the 31 free slots, so each
  // round's opens must find the slots the round before left.
  constexpr int kRounds = 3, kPerRound = 11;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::unique_ptr<ChildProcess>> crashing;
    for (int i = 0; i < kPerRound; ++i) {
      crashing.push_back(std::make_unique<ChildProcess>("pardow-helper-client", std::vector<std::string>{}));
      ASSERT_EQ(crashing.back()->read_line(60s), "ready");
    }
    for (auto& c : crashing) c->write_line("open");
    for (auto& c : crashing) ASSERT_EQ(c->read_line(60s), "0") << "round " << round;
    EXPECT_EQ(ask(a, "shared").substr(0, 10), std::to_string(1 + kPerRound) + " 1 4095 ");
    for (auto& c : crashing) c->kill_hard();
  }
  EXPECT_EQ(ask(a, "shared").substr(0, 10), "12 1 4095 ") << "the last round is not reclaimed yet";
  EXPECT_EQ(ask(a, "close"), "0");
  EXPECT_EQ(ask(a, "shared").substr(0, 6), "0 1 0 ") << "the close reclaimed it and was the last";
  EXPECT_EQ(log_count("ended without closing the library"), std::size_t{kRounds * kPerRound});
  // The next opener is the first of all again.
  EXPECT_EQ(ask(a, "open"), "0");
  EXPECT_EQ(log_count("Found 1 Tramond-CL_RZ6 Board(s)"), 2u);
  EXPECT_EQ(ask(a, "close"), "0");
  finish(a);
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
