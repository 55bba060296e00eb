// What a second process finds: the devices, slots, capabilities and LUT the
// first one detected and initialised, without touching the board again.
#include <string>

#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {
namespace {

plat::board::ControlBoardActivity Activity(int board) {
  plat::board::ControlBoardActivity activity{};
  EXPECT_EQ(plat::testing::board_control_activity(board, &activity), plat::board::kControlOk);
  return activity;
}

TEST_F(AcqDevices, ASecondProcessGetsTheSameDevicesWithoutTouchingTheBoard) {
  StartBoards({Factory("FolvantX4Dual"), Factory("FolvantX4Full")});
  ChildProcess& first = Helper();
  const auto opened = Activity(0);
  EXPECT_GT(opened.eeprom_accesses, 0u) << "the first process read the EEPROMs";
  ASSERT_EQ(Ask(first, "start"), "started 0x0 0x0 | 0x0 0x0 0x0 0x0 | 0x0 0x0");
  const auto detected = Activity(0);
  EXPECT_EQ(detected.logic_resets, opened.logic_resets + 1) << "the first detection resets the FPGA";
  EXPECT_GT(detected.flash_array_reads, opened.flash_array_reads) << "and reads its firmware records";
  const auto otherBoard = Activity(1);
  const std::string devices = Ask(first, "devices 0");
  const std::string caps = Ask(first, "cap 0 2 0 128");
  const std::string vicCaps = Ask(first, "cap 0 2 2048 216");

  ChildProcess& second = StartedHelper();
  EXPECT_EQ(Ask(second, "devices 0"), devices);
  EXPECT_EQ(Ask(second, "devices 1"), "devices 2 1:1:0 6:1:0");
  EXPECT_EQ(Ask(second, "cap 0 2 0 128"), caps);
  EXPECT_EQ(Ask(second, "cap 0 2 2048 216"), vicCaps);
  for (const auto& [board, before] : {std::pair{0, detected}, std::pair{1, otherBoard}}) {
    const auto after = Activity(board);
    EXPECT_EQ(after.logic_resets, before.logic_resets) << "board " << board;
    EXPECT_EQ(after.flash_array_reads, before.flash_array_reads) << "board " << board;
    EXPECT_EQ(after.eeprom_accesses, before.eeprom_accesses) << "board " << board;
  }
  // A mono device's LUT is the identity of its camera's 8 bits, as the first
  // process left it; a colour device's LUT is the colour shadow's identity.
  EXPECT_EQ(Ask(second, "lut 0 0 0 512"), "lut 0x0 256");
  EXPECT_EQ(Ask(second, "lut 0 2 0 1536 colour"), "lut 0x0 256");
}

}  // namespace
}  // namespace acq_device_test
