// Transfer handles and the requests on their kernel objects, through the
// library, the driver and the simulated board, from several processes.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/testing/board_control.h"

namespace pardow_test {
namespace {

class Transfers : public PardowMachine {
 protected:
  ChildProcess& xfer_client() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-xfer", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    return *clients_.back();
  }

  ChildProcess& opened_client() {
    ChildProcess& c = xfer_client();
    EXPECT_EQ(ask(c, "open"), "0");
    return c;
  }

  static std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
  }

  // "status slot channel kernel" of a create.
  struct Created {
    int status = 0;
    std::string channel;
    std::string kernel;
  };
  static Created Create(ChildProcess& c, int camera) {
    const std::vector<std::string> w = Words(ask(c, "create 0 " + std::to_string(camera)));
    if (w.size() != 4) return {-99999, "", ""};
    return {std::stoi(w[0]), w[2], w[3]};
  }

  static std::string Owners(int first, int count, int owner) {
    std::vector<std::string> groups(16, "-1");
    for (int g = first; g < first + count; ++g) groups[g] = std::to_string(owner);
    std::string line;
    for (const std::string& g : groups) line += (line.empty() ? "" : " ") + g;
    return line;
  }
};

TEST_F(Transfers, TwoProcessesGetDistinctGroupsAndObjectsUntilTheTableIsFull) {
  start_host({"FolvantX4Dual"});  // two cameras
  ChildProcess& a = opened_client();
  ChildProcess& b = opened_client();
  std::vector<std::string> kernels;
  for (int i = 0; i < 8; ++i) {
    const Created fromA = Create(a, 0);
    const Created fromB = Create(b, 1);
    ASSERT_EQ(fromA.status, 0);
    ASSERT_EQ(fromB.status, 0);
    EXPECT_EQ(fromA.channel, std::to_string(2 * i));
    EXPECT_EQ(fromB.channel, std::to_string(2 * i + 1));
    kernels.push_back(fromA.kernel);
    kernels.push_back(fromB.kernel);
  }
  EXPECT_EQ(ask(a, "owners 0"), "0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1");
  EXPECT_EQ(Create(b, 1).status, QELHW_ERROR_RESOURCE_IN_USE);
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Yat_DMA_AllocHostDmaNumber status 0"}));
  for (const std::string& k : kernels) EXPECT_NE(k, "0");
  EXPECT_EQ(std::set<std::string>(kernels.begin(), kernels.end()).size(), kernels.size());

  // Releasing one of A's handles leaves A's other groups and all of B's.
  EXPECT_EQ(ask(a, "release 2"), "0");  // group 4
  EXPECT_EQ(ask(a, "valid 2"), "0");
  EXPECT_EQ(ask(a, "release 2"), std::to_string(QELHW_ERROR_INVALID_HANDLE));
  EXPECT_EQ(ask(b, "owners 0"), "0 1 0 1 -1 1 0 1 0 1 0 1 0 1 0 1");
  EXPECT_EQ(ask(a, "valid 1"), "1");
  // Its kernel object is gone, the others still answer.
  EXPECT_EQ(ask(b, "bh 0"), "0 0 0 0 0 -7 -7");
  const Created again = Create(b, 1);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.channel, "4");
  finish(a);
  finish(b);
}

TEST_F(Transfers, AHandBuiltHostListRunsAndTheUnservedRequestsAnswerMinusSeven) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = opened_client();
  ASSERT_EQ(Create(c, 0).status, 0);
  EXPECT_EQ(ask(c, "bh 0"), "0 0 0 0 0 -7 -7");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Yat_DMA_Start status fffffff9",
                         "Pardow.DLL, Board 0, Yat_DMA_Stop status fffffff9"}));
  // Null handle, null BH header with count 0, count 0, null LB array, a
  // second create, a null release and a handle without a kernel object.
  EXPECT_EQ(ask(c, "refusals 0"), "-3 -3 -3 -3 -2005 -3 -3");
  EXPECT_TRUE(log_shows({"Yat_DMA_StartAuto HANDLE NULL", "Yat_DMA_Set_BH_Xfer ARGUMENT 2 NULL",
                         "Yat_DMA_Set_AL_Xfer ARGUMENT INVALID", "Yat_DMA_Set_LB_Xfer ARGUMENT 3 NULL",
                         "Yat_DMA_Create_Xfer ERROR RESOURCE IN USE", "Yat_DMA_Abort ARGUMENT INVALID"}));
  EXPECT_EQ(ask(c, "release 0"), "0");
  EXPECT_EQ(ask(c, "owners 0"), Owners(0, 0, 0));
  // The transfer queue: emptied, a wrong size refused, then nothing to fetch;
  // the process's message event exists once the library is open.
  EXPECT_EQ(ask(c, "queue"), "0 -3 " + std::to_string(QELHW_ERROR_DATA_NO_MESSAGES) + " 0 1");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Yat_Get_Transfer_Message status fffffffd"}));
  finish(c);
}

TEST_F(Transfers, AKilledHoldersChannelsAreReclaimedByTheResetPath) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = opened_client();  // keeps the shared table alive
  ChildProcess& holder = opened_client();
  ASSERT_EQ(Create(holder, 1).status, 0);
  ASSERT_EQ(Create(holder, 1).status, 0);
  holder.kill_hard();
  EXPECT_EQ(ask(c, "owners 0"), Owners(0, 2, 1));
  ASSERT_EQ(ask(c, "reset 0 0"), "0");
  EXPECT_EQ(ask(c, "owners 0"), Owners(0, 0, 0));
  EXPECT_EQ(Create(c, 0).channel, "0");
  finish(c);
}

// A process killed with SIGKILL leaves its host DMA groups, its ROI lists,
// its on-board memory and its slot; the next open of any process gives the
// library's share back (with a log line) and the driver gives its own.
TEST_F(Transfers, AKilledHoldersGroupsRoiListsAndOnboardMemoryGoBackAtTheNextOpen) {
  start_host({"FolvantX4Dual"});
  constexpr const char* kMostOfTheMemory = "0x18000000";  // 384 MB of region 0's 512
  ChildProcess& c = opened_client();  // keeps the shared table alive
  ChildProcess& holder = opened_client();
  const std::string holderPid = ask(holder, "self");
  ASSERT_EQ(Create(holder, 1).status, 0);
  ASSERT_EQ(Create(holder, 0).status, 0);
  ASSERT_EQ(ask(holder, std::string("ibcreate 0 0 0 ") + kMostOfTheMemory).substr(0, 2), "0 ");
  ASSERT_EQ(ask(holder, "ibroi 1 3 0"), "0 28 28 28");
  ASSERT_EQ(ask(holder, "ibroi 2 2 0"), "0 28 28");
  EXPECT_EQ(ask(c, "holders 0"), Owners(0, 2, 2));
  EXPECT_EQ(ask(c, "roilists"), "2:3 2:2");
  EXPECT_EQ(ask(c, std::string("ibcreate 0 0 0 ") + kMostOfTheMemory).substr(0, 6), "-2002 ");
  holder.kill_hard();
  // Nothing opened or closed since: all of it still stands.
  EXPECT_EQ(ask(c, "owners 0"), "1 0 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1");

  ChildProcess& next = opened_client();
  EXPECT_TRUE(log_shows({"Pardow.DLL: Process " + holderPid + " ended without closing the library: its slot 2 is reclaimed"}));
  EXPECT_EQ(ask(c, "owners 0"), Owners(0, 0, 0));
  EXPECT_EQ(ask(c, "roilists"), "none");
  EXPECT_EQ(ask(next, std::string("ibcreate 0 0 0 ") + kMostOfTheMemory).substr(0, 2), "0 ");
  // The newcomer took the dead holder's slot, and its groups are its own.
  ASSERT_EQ(Create(next, 1).channel, "0");
  EXPECT_EQ(ask(c, "holders 0"), Owners(0, 1, 2));
  EXPECT_EQ(ask(next, "ibfree"), "0 0");
  finish(next);
  finish(c);
}

// The reset frees every camera's channels; a handle that lost its group
// that way and is released later must not free the group another process
// has claimed since.
TEST_F(Transfers, AHandleReleasedAfterAResetLeavesTheGroupAnotherProcessTookSince) {
  start_host({"FolvantX4Dual"});
  ChildProcess& a = opened_client();
  ChildProcess& b = opened_client();
  ASSERT_EQ(Create(a, 1).channel, "0");
  ASSERT_EQ(ask(b, "reset 0 0"), "0");
  EXPECT_EQ(ask(b, "owners 0"), Owners(0, 0, 0));
  ASSERT_EQ(Create(b, 1).channel, "0");
  EXPECT_EQ(ask(a, "release 0"), "0");
  EXPECT_EQ(ask(a, "owners 0"), Owners(0, 1, 1));
  EXPECT_EQ(ask(a, "holders 0"), Owners(0, 1, 2));
  finish(a);
  finish(b);
}

// The record of an internal buffer may sit in memory several processes share:
// its ROI lists are named by references into the library's shared pool, so
// another process frees them, and a stale copy of the record frees nothing
// that came later.
TEST_F(Transfers, ARoiListAddedByOneProcessIsFreedByAnotherAndAStaleCopyFreesNothingElse) {
  start_host({"FolvantX4Full"});
  ChildProcess& a = opened_client();
  ChildProcess& b = opened_client();
  ChildProcess& c = opened_client();
  ASSERT_EQ(ask(a, "ibcreate 0 0 0 4096"), "0 64000002 4096");
  ASSERT_EQ(ask(c, "ibcreate 0 0 0 4096"), "0 64000002 4096");
  ASSERT_EQ(ask(a, "ibroi 1 4 0"), "0 28 28 28 28");
  const std::string record = ask(a, "ibexport");
  ASSERT_EQ(ask(b, "ibimport " + record), "0");
  // The driver leaves A's on-board memory to A; the lists go whatever it says.
  EXPECT_EQ(ask(b, "ibfree"), "-3 0");
  EXPECT_EQ(ask(a, "roilists"), "none");
  // A later list of another buffer takes the same place in the pool.
  ASSERT_EQ(ask(c, "ibroi 1 4 0"), "0 28 28 28 28");
  // A's copy still names the freed list: its free gives its memory back and
  // leaves C's list alone.
  EXPECT_EQ(ask(a, "ibfree"), "0 0");
  EXPECT_EQ(ask(a, "roilists"), "3:4");
  EXPECT_EQ(ask(c, "ibfree"), "0 0");
  EXPECT_EQ(ask(a, "roilists"), "none");
  finish(a);
  finish(b);
  finish(c);
}

TEST_F(Transfers, AnInternalBufferLivesInOnboardMemoryUntilItsOneFree) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = opened_client();
  EXPECT_EQ(ask(c, "ibcreate 0 0 0 0"), "-3 0 0");  // size 0 sends nothing
  ASSERT_EQ(ask(c, "ibcreate 0 0 0 4096"), "0 64000002 4096");
  EXPECT_EQ(ask(c, "ibrw"), "0 0 same");
  // 32 x 64 pixels of format 1 fill it exactly; one more line does not fit.
  EXPECT_EQ(ask(c, "ibinfo 64 64 1"), "0 64");
  EXPECT_EQ(ask(c, "ibinfo 64 65 1"), "-3 64");
  EXPECT_EQ(ask(c, "ibinfo 64 64 99"), std::to_string(QELHW_ERROR_INVALID_PIXEL_FORMAT) + " 64");
  EXPECT_EQ(ask(c, "ibroi 1 2 0"), "0 28 28");
  EXPECT_EQ(ask(c, "ibroi 1 1 0"), "-2005 28 28");
  EXPECT_EQ(ask(c, "ibroi 2 1 1"), "-3");  // a null list with a count
  EXPECT_EQ(ask(c, "ibroi 2 1 0"), "0 28");
  EXPECT_EQ(ask(c, "ibfree"), "0 0");
  EXPECT_EQ(ask(c, "ibfree"), std::to_string(QELHW_ERROR_INVALID_HANDLE) + " 0");
  EXPECT_EQ(ask(c, "ibroi 1 1 0"), std::to_string(QELHW_ERROR_INVALID_HANDLE));
  EXPECT_EQ(log_count("Yat_FreeInternalBuffer"), 0u);  // neither free failed
  finish(c);
}

TEST_F(Transfers, TheExpansionUnitAnswersAsItsUnservedSectionAndItsResetPulses) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = opened_client();
  // Present word 0; board 16 and null refused; registers -13 (the block
  // stops at its first pair); null pairs -2; the transfer requests reach an
  // unserved section (-3001) and the failed create keeps tag and a zero handle.
  EXPECT_EQ(ask(c, "expansion"), "0 0 -3 -3 -13 -13 -13 -2 -3 -2 -3001 64000001 0 -3001 0 -3001 -3");
  // With the reset bit left set, only the pulse's closing write can clear it.
  ASSERT_EQ(plat::testing::board_control_register_write(0, 0x45C, 0x10), plat::board::kControlOk);
  std::uint32_t before = 0;
  ASSERT_EQ(plat::testing::board_control_peek_register(0, 0x45C, &before), plat::board::kControlOk);
  ASSERT_EQ(before, 0x10u);
  EXPECT_EQ(ask(c, "ipureset 0"), std::to_string(QELHW_ERROR_FPGA_NOT_LOADED));
  EXPECT_TRUE(log_shows({"Pardow.DLL, board(0), This IPU is not loaded"}));
  std::uint32_t after = 0;
  ASSERT_EQ(plat::testing::board_control_peek_register(0, 0x45C, &after), plat::board::kControlOk);
  EXPECT_EQ(after, 0u);
  finish(c);
}

TEST_F(Transfers, LinkExportsAnswerWhatTheUnservedSectionGivesAndTheCoreTimingIsChecked) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = opened_client();
  const std::string generic = std::to_string(QELHW_ERROR_DRIVER_STATUS);
  EXPECT_EQ(ask(c, "link"), generic + " 0 -3 " + generic + " -3001 -3 -3 -3 " + generic + " " + generic + " " +
                                generic + " " + generic + " -3 -3");
  EXPECT_TRUE(log_shows({"Pardow.DLL: Yat_MDIO_Read(00000030) status ERROR ,fffff447",
                         "Yat_Fpga_FE_SetLanes(2) ARGUMENT INVALID"}));
  EXPECT_EQ(ask(c, "hscore 9 2 1 1024"), "-3");
  // This board keeps no high-speed core registers, so only the writes' status is seen.
  EXPECT_EQ(ask(c, "hscore 10 2 1 1024"), "0");
  finish(c);
}

}  // namespace
}  // namespace pardow_test
