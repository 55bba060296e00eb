// Boards set up by a test before they start: the main EEPROM a model preset
// needs and the firmware's option bits; and the counts with which a test
// tells that the FPGA, the flash and the EEPROMs were left alone.
#include <gtest/gtest.h>

#include "platform/board/board_activity.h"
#include "platform/board/board_i2c.h"
#include "platform/board/board_state.h"
#include "platform/board/eeprom_images.h"
#include "platform/board/fpga_ports.h"
#include "platform/board/grab_controller.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/testing/board_startup.h"

namespace plat::board {
namespace {

void put16(EepromImage& image, std::uint32_t offset, std::uint16_t value) {
  image[offset] = static_cast<std::uint8_t>(value);
  image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

class BoardStartupTest : public ::testing::Test {
 protected:
  plat::testing::ScopedMachine machine;
};

TEST_F(BoardStartupTest, ABoardStartsWithThePresetEepromAndFirmwareOptions) {
  BoardStartup startup = plat::testing::factory_startup("FolvantX4Dual", 0);
  put16(startup.main_eeprom, kEepromModelOffset, 6);
  put16(startup.main_eeprom, kEepromBank1Offset, 256);
  put16(startup.main_eeprom, kEepromBank2Offset, 0);
  startup.firmware_options = 0x0202;
  ASSERT_TRUE(plat::testing::preset_board("FolvantX4Dual", 0, startup));

  BoardPtr board = make_board("FolvantX4Dual", 0);
  ASSERT_NE(board, nullptr);
  EepromImage image{};
  ASSERT_TRUE(board_eeprom_peek(board.get(), kEepromMain, &image));
  EXPECT_EQ(image, startup.main_eeprom);
  EXPECT_EQ(board->identity.option_bits, 0x0202u);
  EXPECT_EQ(board->onboard.size, 256ull << 20);
  // Option bit 9: the firmware drives one camera; the second input has no controller.
  EXPECT_EQ(bar_read32(board.get(), 0, kRegGrabCapability + kGrabCameraStride), 0u);
  EXPECT_NE(bar_read32(board.get(), 0, kRegGrabCapability), 0u);
  EXPECT_TRUE(grab_camera_present(*board, 0));
  EXPECT_FALSE(grab_camera_present(*board, 1));
}

TEST_F(BoardStartupTest, AFactoryDualBoardOffersBothCameras) {
  ASSERT_TRUE(plat::testing::preset_board("FolvantX4Dual", 0, plat::testing::factory_startup("FolvantX4Dual", 0)));
  BoardPtr board = make_board("FolvantX4Dual", 0);
  EXPECT_EQ(board->identity.option_bits, 0u);
  EXPECT_NE(bar_read32(board.get(), 0, kRegGrabCapability + kGrabCameraStride), 0u);
  EXPECT_TRUE(grab_camera_present(*board, 1));
}

TEST_F(BoardStartupTest, ActivityCountsResetsFlashReadsAndEepromTransfers) {
  BoardPtr board = make_board("FolvantX4Full", 0);
  const BoardActivity before = board_activity(board.get());
  bar_write32(board.get(), 0, kRegLogicReset, 1);
  bar_write32(board.get(), 0, kRegLogicReset, 0);
  {
    std::lock_guard guard(board->lock);
    flash_read_cycle(board->flash.device, 0);
    flash_read_cycle(board->flash.device, 1);
  }
  const BoardActivity after = board_activity(board.get());
  EXPECT_EQ(after.logic_resets, before.logic_resets + 1);
  EXPECT_EQ(after.flash_array_reads, before.flash_array_reads + 2);
  EXPECT_EQ(after.eeprom_accesses, before.eeprom_accesses);
}

}  // namespace
}  // namespace plat::board
