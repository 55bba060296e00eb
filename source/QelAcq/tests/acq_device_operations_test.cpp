// Device operations through the interface table: LUT bounds, software
// trigger, detected video format, event routes; and a board whose one
// detection failed.
#include <string>

#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {
namespace {

// The board's EEPROM page 0 lacks its signature: the detection's last
// hardware step fails. The failure is not retried, but no process takes it
// for a board without devices: every process answers the same status.
TEST_F(AcqDevices, AFailedFirstDetectionIsReportedByEveryProcess) {
  BoardPreset unsigned_ = Factory("FolvantX4Dual");
  unsigned_.bytes = {{0, 0x00}};
  StartBoards({unsigned_, Factory("FolvantX4Full")});
  ChildProcess& first = Helper();
  const std::string started = Ask(first, "start");
  ASSERT_EQ(started.rfind("started 0x", 0), 0u) << started;
  EXPECT_NE(started.rfind("started 0x0 ", 0), 0u) << started;
  EXPECT_EQ(Ask(first, "devices 0"), "devices 0");
  EXPECT_EQ(Ask(first, "devices 1"), "devices 2 1:1:0 6:1:0");
  ChildProcess& second = Helper();
  EXPECT_EQ(Ask(second, "start"), started);
  EXPECT_EQ(Ask(second, "devices 0"), "devices 0");
}

TEST_F(AcqDevices, LutReadsAndWritesStayWithinTheBoardsLuts) {
  StartBoards({Factory("FolvantX4Dual"), Model(4, 0x1)});
  ChildProcess& helper = StartedHelper();
  EXPECT_EQ(Ask(helper, "lut 0 0 0 8192"), "lut 0x0 256");
  EXPECT_EQ(Ask(helper, "lut 0 0 3 16"), "lut 0x0 8") << "LUT 3 of connector 1";
  EXPECT_EQ(Ask(helper, "lut 0 0 4 16"), "lut 0x400333 0") << "a LUT number of 4";
  EXPECT_EQ(Ask(helper, "lut 0 1 3 16"), "lut 0x400333 0") << "connector 2 plus LUT 3";
  EXPECT_EQ(Ask(helper, "lut 0 0 0 8194"), "lut 0x400333 0") << "past 4096 entries";
  EXPECT_EQ(Ask(helper, "lut 0 2 0 24576 colour"), "lut 0x0 256");
  EXPECT_EQ(Ask(helper, "lut 0 2 0 24578 colour"), "lut 0x400333 0");
  EXPECT_EQ(Ask(helper, "lut 0 0 0 4294967295"), "lut 0x400333 0");
  // Colour writes: the shadow takes three planes of entries; the board too
  // (the device's input is registered for it).
  ASSERT_EQ(Ask(helper, "open 0 2"), "open 0x0 0");
  EXPECT_EQ(Ask(helper, "lutwrite 0 2 0 4097"), "lutwrite 0x400333");
  EXPECT_EQ(Ask(helper, "lutwrite 0 2 4 16"), "lutwrite 0x400333");
  EXPECT_EQ(Ask(helper, "lutwrite 0 2 1 256"), "lutwrite 0x0");
  EXPECT_EQ(Ask(helper, "lut 0 2 1 1536 colour"), "lut 0x0 0") << "the descending table, read back";
  // Another process reads what this one wrote.
  ChildProcess& other = StartedHelper();
  EXPECT_EQ(Ask(other, "lut 0 2 1 1536 colour"), "lut 0x0 0");
  EXPECT_EQ(Ask(other, "lut 0 2 0 1536 colour"), "lut 0x0 256");
  // A 16-tap parallel device has no LUT operations.
  EXPECT_EQ(Ask(helper, "lut 1 0 0 16"), "lut none");
}

TEST_F(AcqDevices, TriggerVideoFormatAndEventRoutes) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& helper = StartedHelper();
  ASSERT_EQ(Ask(helper, "open 0 1"), "open 0x0 0");
  plat::board::ControlCameraModel model{1024, 300, 1, 8, 10000};
  ASSERT_EQ(plat::testing::board_control_set_camera_model(0, 1, model), plat::board::kControlOk);
  EXPECT_EQ(Ask(helper, "format 0 1 70a0004"), "format 0x0 0") << "no data lines up yet";
  ASSERT_EQ(plat::testing::board_control_set_camera_link_status(0, 0x60), plat::board::kControlOk);
  EXPECT_EQ(Ask(helper, "format 0 1 70a0004"), "format 0x0 1024");
  EXPECT_EQ(Ask(helper, "format 0 1 70b0004"), "format 0x0 300");
  EXPECT_EQ(Ask(helper, "format 0 1 70c0004"), "format 0x70c28 0");
  EXPECT_EQ(Ask(helper, "trigger 0 1 4"), "trigger 0x46");
  EXPECT_EQ(Ask(helper, "trigger 0 1 1"), "trigger 0x0");
  plat::board::ControlGrabState state{};
  ASSERT_EQ(plat::testing::board_control_grab_state(0, 1, &state), plat::board::kControlOk);
  EXPECT_EQ(state.triggers, 1u) << "one software trigger reached the camera's controller";
  EXPECT_EQ(Ask(helper, "events 0 1 3000000"), "events 0x0");
  EXPECT_EQ(Ask(helper, "events 0 1 1000000"), "events 0x0");
  EXPECT_EQ(Ask(helper, "unroute 0 1 1000000"), "unroute 0x0");
}

}  // namespace
}  // namespace acq_device_test
