// Board start-up, section 0 and on-board memory through the real path: a
// kernel-host process loads "Stavro.SYS" with two simulated boards; this
// process and a helper process are its clients.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/board/config_space.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/device.h"

namespace {

using plat::testing::ChildProcess;
using namespace std::chrono_literals;

constexpr std::uint32_t kMegabyte = 1u << 20;

using Reply = StavroReply;

class StartupHost : public StavroHostTest {
 protected:
  QelHwStatus InitMemory(std::uint32_t board, std::uint32_t sizeMb, std::uint32_t regions) {
    YatInitMemoryRecord record{};
    record.header = Board(board);
    record.regionsPerBank[0] = regions;
    record.bankSizeMb[0] = sizeMb;
    record.bankCount = 1;
    return Ask(YAT_IOCTRL_INIT_MEMORY_MANAGER, record, 4).status;
  }

  Reply Alloc(std::uint32_t region, std::uint32_t size) {
    return Ask(YAT_IOCTRL_ALLOC_FPGA_MEM, YatIocAllocFpgaMemIn{Board(0), region, size, 0}, 12);
  }

};

TEST_F(StartupHost, SectionZeroDescribesTheBoardsAndTheCaller) {
  EXPECT_EQ(AskBytes(YAT_IOCTRL_GET_NB_BOARD, nullptr, 0, 8).Word(4), 2u);
  EXPECT_EQ(AskBytes(YAT_IOCTRL_GET_PROCESS_ID, nullptr, 0, 8).Word(4), 0u);
  std::vector<plat::testing::BoardListing> listing;
  ASSERT_EQ(plat::testing::board_control_list(&listing), plat::board::kControlOk);
  ASSERT_EQ(listing.size(), 2u);
  for (std::uint32_t board = 0; board < 2; ++board) {
    std::uint32_t bar0 = 0;
    ASSERT_EQ(plat::testing::board_control_config_read(board, plat::board::kCfgBar0, 4, &bar0), 0);
    Reply base = Ask(YAT_IOCTRL_GET_BASE_ADDRESS, Board(board), 8);
    EXPECT_EQ(base.status, QELHW_OK);
    EXPECT_EQ(base.Word(4), bar0 & ~0xFu);
    Reply location = Ask(YAT_IOCTRL_GET_PCI_LOCATION, Board(board), 16);
    EXPECT_EQ(location.status, QELHW_OK);
    EXPECT_EQ(location.Word(4), listing[board].location.bus);
    EXPECT_EQ(location.Word(8), listing[board].location.device);
    EXPECT_EQ(location.Word(12), listing[board].location.function);
  }
  Reply noBoard = Ask(YAT_IOCTRL_GET_PCI_LOCATION, YatIocHeader{0, 0}, 16);
  EXPECT_EQ(noBoard.status, QELHW_ERROR_INVALID_HANDLE);
  EXPECT_EQ(noBoard.Word(4), 0u);
}

TEST_F(StartupHost, AFailedBoardAnswersItsErrorToEveryRequestNamingIt) {
  constexpr QelHwStatus kError = QELHW_ERROR_DEVICE_NOT_RESPONDING;
  const YatIocValueIn setError{Board(1), static_cast<std::uint32_t>(kError)};
  EXPECT_EQ(Ask(YAT_IOCTRL_SET_BOARD_ERROR, setError, 4).status, QELHW_OK);
  EXPECT_EQ(Ask(YAT_IOCTRL_SET_BOARD_ERROR, setError, 4).status, kError);
  EXPECT_EQ(Ask(YAT_IOCTRL_GET_BOARD_STATE, Board(1), 7).status, kError);
  EXPECT_EQ(Ask(YAT_IOCTRL_ALLOC_FPGA_MEM, YatIocAllocFpgaMemIn{Board(1), 0, 2048, 0}, 12).status, kError);
  EXPECT_EQ(Ask(YAT_IOCTRL_GET_BOARD_STATE, Board(0), 7).status, QELHW_OK);
  Reply count = AskBytes(YAT_IOCTRL_GET_NB_BOARD, nullptr, 0, 8);
  EXPECT_EQ(count.status, QELHW_OK);
  EXPECT_EQ(count.Word(4), 2u);
}

// Board 1 before its register map is built: its interrupt is off, so a
// latched status and a host message stay until something clears them.
class StartupResets : public StartupHost {
 protected:
  static std::uint32_t BoardRegister(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(1, offset, &value), 0);
    return value;
  }
  static void LatchStatusAndMessage() {
    ASSERT_EQ(plat::testing::board_control_raise_status(1, 0x404, kLatched), 0);
    const std::uint32_t words[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(plat::testing::board_control_post_host_message(1, words), 0);
    ASSERT_EQ(BoardRegister(0x404) & kLatched, kLatched);
    ASSERT_EQ(BoardRegister(0x10014) & kMessagesEmpty, 0u);
  }
  static constexpr std::uint32_t kLatched = 0x8000;
  static constexpr std::uint32_t kMessagesEmpty = 0x4;
};

// INIT_BOARD_MANAGER: the memory manager, the FPGA's logic reset (latched
// statuses clear) and the pulse of the host message window (its FIFO empties).
TEST_F(StartupResets, BoardManagerInitResetsTheFpgaAndTheMessageWindow) {
  LatchStatusAndMessage();
  YatInitMemoryRecord record{};
  record.header = Board(1);
  record.regionsPerBank[0] = 2;
  record.bankSizeMb[0] = 64;
  record.bankCount = 1;
  EXPECT_EQ(Ask(YAT_IOCTRL_INIT_BOARD_MANAGER, record, 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(0x404) & kLatched, 0u);
  EXPECT_EQ(BoardRegister(0x10014) & kMessagesEmpty, kMessagesEmpty);
  EXPECT_EQ(BoardRegister(0x10014) & 0x3, 0u);  // the pulse ended with both bits clear
  EXPECT_EQ(Ask(YAT_IOCTRL_GET_BOARD_STATE, Board(1), 7).bytes[5], 1);
}

// RESET_BOARD 1 is Yat_ResetVirtex; any other value does nothing.
TEST_F(StartupResets, ResetBoardResetsTheFpgaLogicOnlyWhenAsked) {
  LatchStatusAndMessage();
  EXPECT_EQ(Ask(YAT_IOCTRL_RESET_BOARD, YatIocValueIn{Board(1), 0}, 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(0x404) & kLatched, kLatched);
  EXPECT_EQ(Ask(YAT_IOCTRL_RESET_BOARD, YatIocValueIn{Board(1), 1}, 4).status, QELHW_OK);
  EXPECT_EQ(BoardRegister(0x404) & kLatched, 0u);
  EXPECT_EQ(BoardRegister(0x42C) & 1u, 0u);  // the interrupt stays as it was: off
}

// Mode 1 only reads the EEPROM again: a blank marker is seen at once (the
// reset then refuses for want of an EEPROM), the FPGA is not reloaded.
TEST_F(StartupResets, ReloadMode1OnlyReadsTheEepromAgain) {
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(1, 0xA0, &image), 0);
  const plat::board::EepromImage good = image;
  image[0] = 0x00;
  ASSERT_EQ(plat::testing::board_control_eeprom_program(1, 0xA0, image), 0);
  EXPECT_EQ(Ask(YAT_IOCTRL_RESET_BOARD, YatIocValueIn{Board(1), 1}, 4).status, QELHW_OK);  // the image it read at start
  EXPECT_EQ(Ask(IOCTRL_RELOAD, YatIocReloadIn{Board(1), 1, 0}, 4).status, QELHW_OK);
  EXPECT_TRUE(plat::testing::machine_log_shows({"Yat_EepromInit: Eeprom Not Initialized"}));
  EXPECT_EQ(Ask(YAT_IOCTRL_RESET_BOARD, YatIocValueIn{Board(1), 1}, 4).status, QELHW_ERROR_EEPROM_NOT_INITIALIZED);
  EXPECT_FALSE(plat::testing::machine_log_shows({"IOCTRL_RELOAD, Could not"}, std::chrono::milliseconds(0)));
  ASSERT_EQ(plat::testing::board_control_eeprom_program(1, 0xA0, good), 0);
  EXPECT_EQ(Ask(IOCTRL_RELOAD, YatIocReloadIn{Board(1), 1, 0}, 4).status, QELHW_OK);
  EXPECT_EQ(Ask(YAT_IOCTRL_RESET_BOARD, YatIocValueIn{Board(1), 1}, 4).status, QELHW_OK);
}

TEST_F(StartupHost, RegisterMapIsBuiltFromTheBoardsIdentity) {
  Reply before = Ask(YAT_IOCTRL_GET_BOARD_STATE, Board(1), 7);
  EXPECT_EQ(before.bytes[4], 0);
  EXPECT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(1), 4).status, QELHW_OK);
  Reply after = Ask(YAT_IOCTRL_GET_BOARD_STATE, Board(1), 7);
  EXPECT_EQ(after.status, QELHW_OK);
  EXPECT_EQ(after.bytes[4], 1);
  EXPECT_EQ(after.bytes[5], 0);
  std::uint32_t mask = 0;
  ASSERT_EQ(plat::testing::board_control_register_read(1, 0x42C, &mask), 0);
  EXPECT_EQ(mask & 1u, 1u);  // master interrupt enable
  // BAR accesses are whole aligned words inside BAR 0.
  EXPECT_EQ(Ask(YAT_IOCTRL_READ_BAR, YatIocValueIn{Board(1), 0x400}, 8).Word(4), 0x238u);
  EXPECT_EQ(Ask(YAT_IOCTRL_READ_BAR, YatIocValueIn{Board(1), 0x402}, 8).status, QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_READ_BAR, YatIocValueIn{Board(1), 0x20000}, 8).status, QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_WRITE_BAR, YatIocWriteBarIn{Board(1), 0x41C, 0x1234}, 4).status, QELHW_OK);
  std::uint32_t written = 0;
  ASSERT_EQ(plat::testing::board_control_register_read(1, 0x41C, &written), 0);
  EXPECT_EQ(written, 0x1234u);
}

TEST_F(StartupHost, OnboardMemoryIsHandedOutInGranulesPerProcess) {
  EXPECT_EQ(InitMemory(0, 3073, 8), QELHW_ERROR_PARAMETER_INVALID);
  ASSERT_EQ(InitMemory(0, 3072, 8), QELHW_OK);
  EXPECT_EQ(Ask(YAT_IOCTRL_GET_BOARD_STATE, Board(0), 7).bytes[5], 1);
  constexpr std::uint32_t kRegion = 384 * kMegabyte;
  Reply first = Alloc(1, 100);
  EXPECT_EQ(first.status, QELHW_OK);
  EXPECT_EQ(first.Word(4), kRegion);
  EXPECT_EQ(Alloc(1, 100).Word(4), kRegion + 2048);
  EXPECT_EQ(Alloc(8, 100).status, QELHW_ERROR_PARAMETER_INVALID);  // no such region
  EXPECT_EQ(Alloc(0, kRegion + 1).status, QELHW_ERROR_INSUFFICIENT_MEMORY);
  EXPECT_EQ(Ask(YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{Board(0), kRegion, 0}, 4).status, QELHW_OK);
  EXPECT_EQ(Ask(YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{Board(0), kRegion + 4096, 0}, 4).status, QELHW_OK);
  EXPECT_EQ(Alloc(1, 100).Word(4), kRegion);  // the freed range is the exact fit
  EXPECT_EQ(Ask(YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{Board(0), 0, 9}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
}

// On-board memory goes back only through the process that holds it.
TEST_F(StartupHost, AnotherProcessesRangeIsNotFreed) {
  ASSERT_EQ(InitMemory(0, 16, 2), QELHW_OK);
  ChildProcess client("startup-helper-client", {});
  ASSERT_EQ(client.read_line(30s), "ready");
  client.write_line("alloc 0 4096");
  ASSERT_EQ(client.read_line(30s), "alloc 0 0");
  EXPECT_EQ(Ask(YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{Board(0), 0, 0}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_TRUE(plat::testing::machine_log_shows({"Address [0x00000000] belongs to another process"}));
  EXPECT_EQ(Alloc(0, 8 * kMegabyte).status, QELHW_ERROR_INSUFFICIENT_MEMORY);  // still held
  const Reply own = Alloc(0, 4096);
  ASSERT_EQ(own.status, QELHW_OK);
  EXPECT_EQ(Ask(YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{Board(0), own.Word(4), 0}, 4).status, QELHW_OK);
}

TEST_F(StartupHost, RangesOfAKilledClientAreReclaimed) {
  ASSERT_EQ(InitMemory(0, 16, 2), QELHW_OK);
  ChildProcess client("startup-helper-client", {});
  ASSERT_EQ(client.read_line(30s), "ready");
  client.write_line("alloc 0 4096");
  EXPECT_EQ(client.read_line(30s), "alloc 0 0");
  EXPECT_EQ(Alloc(0, 8 * kMegabyte).status, QELHW_ERROR_INSUFFICIENT_MEMORY);
  client.kill_hard();
  // The host sees the death on its own time.
  QelHwStatus status = QELHW_ERROR_INSUFFICIENT_MEMORY;
  for (auto deadline = std::chrono::steady_clock::now() + 30s;
       status != QELHW_OK && std::chrono::steady_clock::now() < deadline;) {
    status = Alloc(0, 8 * kMegabyte).status;
    if (status != QELHW_OK) std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(status, QELHW_OK);
}

}  // namespace
