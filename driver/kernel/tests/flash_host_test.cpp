// Section 6 and the reload from flash through the real path: this process is
// a client of a kernel host running the driver over a board with persistent
// block protection (board 0) and one with legacy group protection (board 1).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "driver/kernel/YatFlashRecords.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed + (i >> 9)) & 0xFF);
  return bytes;
}

class StavroFlash : public StavroHostTest {
 protected:
  std::int32_t Write(std::uint32_t board, std::uint32_t offset, const void* data, std::uint32_t count) {
    const YatFlashTransferIn in{Board(board), offset, count, reinterpret_cast<std::uintptr_t>(data)};
    return Ask(YAT_IOCTRL_FLASH_WRITE, in, 4).status;
  }
  std::int32_t Read(std::uint32_t board, std::uint32_t offset, void* data, std::uint32_t count) {
    const YatFlashTransferIn in{Board(board), offset, count, reinterpret_cast<std::uintptr_t>(data)};
    return Ask(YAT_IOCTRL_FLASH_READ, in, 4).status;
  }
  StavroReply Blocks(std::uint32_t code, std::uint32_t board, std::uint32_t first, std::uint32_t last) {
    return Ask(code, YatFlashBlocksIn{Board(board), first, last}, 8);
  }
  static std::vector<std::uint8_t> Peek(int board, std::uint32_t offset, std::uint32_t count) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(plat::testing::board_control_flash_peek(board, offset, count, &bytes), plat::board::kControlOk);
    return bytes;
  }
  static std::vector<std::uint8_t> Protection(int board) {
    std::uint32_t state = 0;
    std::vector<std::uint8_t> blocks;
    EXPECT_EQ(plat::testing::board_control_flash_state(board, &state, &blocks), plat::board::kControlOk);
    return blocks;
  }
  StavroReply Reload(std::uint32_t board) { return Ask(IOCTRL_RELOAD, YatIocReloadIn{Board(board), 2, 0}, 4); }
  std::uint32_t ReadBar(std::uint32_t board, std::uint32_t offset) {
    return Ask(YAT_IOCTRL_READ_BAR, YatIocValueIn{Board(board), offset}, 8).Word(4);
  }
};

TEST_F(StavroFlash, WriteAcrossThreeBlocksMergesTheEdgesAndReadsBackByteExact) {
  const std::vector<std::uint8_t> before = Peek(0, 0, 0x30000);
  const std::vector<std::uint8_t> data = Pattern(0x20000, 3);
  ASSERT_EQ(Write(0, 0x8000, data.data(), data.size()), QELHW_OK);
  std::vector<std::uint8_t> back(data.size());
  ASSERT_EQ(Read(0, 0x8000, back.data(), back.size()), QELHW_OK);
  EXPECT_EQ(back, data);
  const std::vector<std::uint8_t> after = Peek(0, 0, 0x30000);
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 0x8000, before.begin())) << "block 0 kept its first half";
  EXPECT_TRUE(std::equal(after.begin() + 0x28000, after.end(), before.begin() + 0x28000)) << "block 2 its second";
  // An odd start and an odd end take single bytes out of their words.
  std::array<std::uint8_t, 3> three{};
  ASSERT_EQ(Read(0, 0x8001, three.data(), 3), QELHW_OK);
  EXPECT_EQ(three[0], data[1]);
  EXPECT_EQ(three[2], data[3]);
}

TEST_F(StavroFlash, OddOffsetsSingleBytesAndTheFlashEndAreHandled) {
  const std::vector<std::uint8_t> before = Peek(1, 0x3F0000, 0x10000);
  const std::uint8_t one = 0x5A;
  EXPECT_EQ(Write(1, 0x3F0001, &one, 1), QELHW_ERROR_FLASH_WRITE);
  EXPECT_EQ(Peek(1, 0x3F0000, 0x10000), before) << "an odd offset writes nothing";
  ASSERT_EQ(Write(1, 0x3F0010, &one, 1), QELHW_OK);
  const std::vector<std::uint8_t> after = Peek(1, 0x3F0010, 2);
  EXPECT_EQ(after[0], 0x5A);
  EXPECT_EQ(after[1], before[0x11]) << "the neighbour byte keeps its value";
  const std::vector<std::uint8_t> data = Pattern(0x20000, 9);
  EXPECT_EQ(Write(1, 0x3F0000, data.data(), data.size()), QELHW_ERROR_FLASH_WRITE);
  EXPECT_EQ(Peek(1, 0x3F0000, 0x10000), std::vector<std::uint8_t>(data.begin(), data.begin() + 0x10000))
      << "the block below the end is written first";
  EXPECT_TRUE(plat::testing::machine_log_shows({"Stavro.SYS: Error <WriteFlash> Invalid Offset",
                                                "Stavro.SYS: Error <WriteFlash> Invalid offset"}));
  std::uint8_t nowhere = 0;
  EXPECT_EQ(Write(1, 0x3E0000, reinterpret_cast<void*>(0x10), 4), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Read(1, 0, reinterpret_cast<void*>(0x10), 4), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Read(1, 0x3FFFFF, &nowhere, 2), QELHW_ERROR_FLASH_READ);
}

TEST_F(StavroFlash, PersistentProtectionLocksQueriesAndUnlocksSingleBlocks) {
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_PROTECT, 0, 4, 6).status, QELHW_OK);
  StavroReply all = Blocks(YAT_IOCTRL_FLASH_IS_PROTECTED, 0, 4, 6);
  EXPECT_EQ(all.status, QELHW_OK);
  EXPECT_EQ(all.Word(4), 1u);
  StavroReply mixed = Blocks(YAT_IOCTRL_FLASH_IS_PROTECTED, 0, 3, 4);
  EXPECT_EQ(mixed.status, QELHW_ERROR_RESOURCE_TOO_LARGE);
  EXPECT_EQ(mixed.Word(4), 0u);
  EXPECT_TRUE(plat::testing::machine_log_shows(
      {"Stavro.SYS: Error <IsFlashBlockProtected> Blocks[3 : 4] are not all locked or unlocked."}));
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_UNPROTECT, 0, 5, 5).status, QELHW_OK);
  std::vector<std::uint8_t> expected(64, 0);
  expected[4] = expected[6] = 1;
  EXPECT_EQ(Protection(0), expected);
  // A protected block keeps its contents through a write.
  const std::vector<std::uint8_t> block4 = Peek(0, 0x40000, 16);
  const std::vector<std::uint8_t> data = Pattern(16, 1);
  EXPECT_EQ(Write(0, 0x40000, data.data(), data.size()), QELHW_ERROR_FLASH_WRITE);
  EXPECT_EQ(Peek(0, 0x40000, 16), block4);
}

TEST_F(StavroFlash, LegacyGroupsProtectByFourAndUnprotectOnlyTheNamedGroup) {
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_PROTECT, 1, 8, 13).status, QELHW_OK);
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_PROTECT, 1, 1, 1).status, QELHW_OK);
  std::vector<std::uint8_t> expected(64, 0);
  for (int b = 8; b <= 15; ++b) expected[b] = 1;
  expected[1] = 1;
  EXPECT_EQ(Protection(1), expected);
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_UNPROTECT, 1, 10, 10).status, QELHW_OK);
  for (int b = 8; b <= 11; ++b) expected[b] = 0;
  EXPECT_EQ(Protection(1), expected);
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_IS_PROTECTED, 1, 12, 15).Word(4), 1u);
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_IS_PROTECTED, 1, 8, 12).status, QELHW_ERROR_RESOURCE_TOO_LARGE);
}

TEST_F(StavroFlash, EraseIdentificationAndTheRequestsWithoutWork) {
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_ERASE, 0, 40, 41).status, QELHW_OK);
  EXPECT_EQ(Peek(0, 0x280000, 0x20000), std::vector<std::uint8_t>(0x20000, 0xFF));
  const std::vector<std::uint8_t> main = Peek(0, 0, 64);
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_ERASE, 0, 1, 0).status, QELHW_OK);
  EXPECT_EQ(Peek(0, 0, 64), main) << "an empty range erases nothing";
  struct Id {
    std::uint32_t board, index, word;
  } ids[] = {{0, 0, 0x51}, {0, 1, 0x227E}, {0, 3, 26}, {1, 3, 25}, {0, 0x10, 'Q'}, {0, 73, 8}, {1, 73, 4}};
  for (const Id& id : ids) {
    const StavroReply reply = Ask(YAT_IOCTRL_FLASH_READ_ID, YatFlashIdIn{Board(id.board), id.index}, 8);
    EXPECT_EQ(reply.status, QELHW_OK);
    EXPECT_EQ(reply.Word(4), id.word) << id.board << " " << id.index;
  }
  EXPECT_EQ(Ask(YAT_IOCTRL_FLASH_READ_ID, YatFlashIdIn{Board(0), 1}, 4).status, QELHW_ERROR_FLASH_READ);
  EXPECT_EQ(Ask(YAT_IOCTRL_FLASH_LOCK_PROBE, Board(0), 4).status, QELHW_ERROR_GENERIC);
  EXPECT_EQ(Ask(YAT_IOCTRL_FLASH_RESERVED, YatIocValueIn{Board(0), 0}, 8).status, QELHW_ERROR_NOT_IMPLEMENTED);
  EXPECT_EQ(Ask(YAT_IOCTRL_FLASH_SET_FLAG, Board(0), 4).status, QELHW_OK);
  EXPECT_EQ(Ask(YAT_IOCTRL_FLASH_PROTECT, Board(0), 4).status, QELHW_ERROR_IOC_BUFFER);
  EXPECT_EQ(Ask(YAT_IOCTRL_FLASH_LOCK_PROBE, YatIocHeader{0, 0}, 4).status, QELHW_ERROR_NO_BOARD_FOUND);
  EXPECT_EQ(Ask(0x222C28, Board(0), 4).status, QELHW_ERROR_IOC_FUNCTION);
}

TEST_F(StavroFlash, ReloadTakesTheMainSectionThenTheBackupWhenTheMainIsCorrupt) {
  EXPECT_EQ(Reload(0).status, QELHW_OK);
  EXPECT_EQ(ReadBar(0, 0x400), 0x227u) << "registers answer again";
  EXPECT_EQ(ReadBar(0, 0x10008) & 0x80000000u, 0u);
  // A payload byte of the main image goes bad: the board boots the backup.
  std::uint8_t byte = Peek(1, 0x100, 1)[0];
  byte ^= 0x10;
  ASSERT_EQ(Write(1, 0x100, &byte, 1), QELHW_OK);
  EXPECT_EQ(Reload(1).status, QELHW_OK);
  EXPECT_EQ(ReadBar(1, 0x400), 0x238u);
  EXPECT_EQ(ReadBar(1, 0x10008) & 0x80000000u, 0x80000000u);
  EXPECT_TRUE(plat::testing::machine_log_shows({"board 1: reloaded from the backup flash section"}));
}

TEST_F(StavroFlash, ABoardThatNeverReturnsAnswersTheRebootStatusFromThenOn) {
  ASSERT_EQ(plat::testing::board_control_flash_set_reload_never_returns(0, true), plat::board::kControlOk);
  EXPECT_EQ(Reload(0).status, QELHW_ERROR_RESET_NEEDS_REBOOT);
  EXPECT_TRUE(plat::testing::machine_log_shows({"Stavro.SYS: ReloadDeviceFromFlash FFFFF43C"}));
  std::uint8_t buffer[2] = {};
  EXPECT_EQ(Read(0, 0, buffer, 2), QELHW_ERROR_RESET_NEEDS_REBOOT);
  EXPECT_EQ(Ask(YAT_IOCTRL_READ_BAR, YatIocValueIn{Board(0), 0x400}, 8).status, QELHW_ERROR_RESET_NEEDS_REBOOT);
  EXPECT_EQ(Read(1, 0, buffer, 2), QELHW_OK) << "the other board is not affected";
}

TEST_F(StavroFlash, ContentsAndProtectionOutliveTheKernelHost) {
  const std::vector<std::uint8_t> data = Pattern(0x100, 5);
  ASSERT_EQ(Write(0, 0x3F0000, data.data(), data.size()), QELHW_OK);
  ASSERT_EQ(Blocks(YAT_IOCTRL_FLASH_PROTECT, 0, 60, 60).status, QELHW_OK);
  plat::close_device(device_);
  device_ = plat::kNullHandle;
  ASSERT_EQ(host_->stop(), 0);
  host_ = std::make_unique<plat::testing::KernelHostProcess>(std::vector<std::string>{"FolvantX4Full", "FolvantX4Dual"});
  ASSERT_TRUE(host_->ready());
  device_ = plat::open_device("\\\\.\\STAVRO");
  ASSERT_NE(device_, plat::kNullHandle);
  std::vector<std::uint8_t> back(data.size());
  ASSERT_EQ(Read(0, 0x3F0000, back.data(), back.size()), QELHW_OK);
  EXPECT_EQ(back, data);
  EXPECT_EQ(Blocks(YAT_IOCTRL_FLASH_IS_PROTECTED, 0, 60, 60).Word(4), 1u);
}

}  // namespace
