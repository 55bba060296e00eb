// The geometry apply through the real road: a helper process applies a
// device's parameters (board library, kernel host, driver, simulated board),
// and frames grabbed afterwards through the board library show the window.
#include <string>

#include "source/QelAcq/tests/acq_apply_fixture.h"

namespace acq_device_test {
namespace {

// Camera 0's crop window registers and the trigger control word.
constexpr std::uint32_t kCropEnable = 0x1144, kCropFirstPixel = 0x1148, kCropFirstLine = 0x114C;
constexpr std::uint32_t kCropEndPixel = 0x1150, kCropEndLine = 0x1154;
constexpr std::uint32_t kTriggerControl = 0x1020;
constexpr std::uint32_t kLutControl = 0x5004;

class AcqApplyWindow : public AcqApply {
 protected:
  // A 64 x 64 window at (16, 8) of a 96 x 80 camera: the camera's crop (CAM
  // 21, CAM 23, CAM 10) and the acquisition window (VIC 2065 to 2068).
  static void SetWindow(ChildProcess& h) {
    for (const char* line : {"set 0 0 2067 64", "set 0 0 10 64", "set 0 0 21 16", "set 0 0 23 8", "set 0 0 2068 64",
                             "set 0 0 12 72"})
      ASSERT_EQ(Ask(h, line), "0x0") << line;
  }
};

TEST_F(AcqApplyWindow, AppliedWindowShowsInTheGrabbedFramePixelForPixel) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 96, 80, 2000);
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  SetWindow(h);
  EXPECT_EQ(Peek(kCropEnable), 1u);
  EXPECT_EQ(Peek(kCropFirstPixel), 17u);
  EXPECT_EQ(Peek(kCropFirstLine), 9u);
  EXPECT_EQ(Peek(kCropEndPixel), 16u + 64u);
  EXPECT_EQ(Peek(kCropEndLine), 8u + 64u);

  const std::uint32_t first = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "connect 0 0 2 64 64"), "0");
  ASSERT_EQ(Ask(h, "nframes 0 0 2"), "0");
  EXPECT_EQ(Ask(h, "message 30000"), "0 0 1");
  EXPECT_EQ(Ask(h, "message 30000"), "1 0 1");
  EXPECT_EQ(Ask(h, "image 0 0 0"), Pattern(0, first, 16, 8, 64, 64));
  EXPECT_EQ(Ask(h, "image 0 0 1"), Pattern(0, first + 1, 16, 8, 64, 64));
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
}

// The apply-all road runs the geometry apply and the trigger apply once each:
// the window and trigger registers take as many writes as one direct apply
// of the group gives them.
TEST_F(AcqApply, ApplyAllProgramsEachGroupOnce) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = ApplyHelper();
  ASSERT_EQ(Ask(h, "open 0 0"), "0x0");
  const auto counts = [] {
    return std::array<std::uint32_t, 4>{Writes(kCropFirstPixel), Writes(kCropEndLine), Writes(kTriggerControl),
                                        Writes(kLutControl)};
  };
  const auto before = counts();
  ASSERT_EQ(Ask(h, "applyall 0 0"), "0x0");
  const auto all = counts();
  ASSERT_EQ(Ask(h, "geometry 0 0 10"), "0x0");
  const auto geometry = counts();
  ASSERT_EQ(Ask(h, "triggers 0 0"), "0x0");
  const auto triggers = counts();
  EXPECT_GT(all[0] - before[0], 0u);
  EXPECT_EQ(all[0] - before[0], geometry[0] - all[0]);
  EXPECT_EQ(all[1] - before[1], geometry[1] - all[1]);
  EXPECT_EQ(triggers[0], geometry[0]);  // the trigger apply leaves the window alone
  EXPECT_GT(triggers[2] - geometry[2], 0u);
  EXPECT_EQ(all[2] - before[2], triggers[2] - geometry[2]);
  EXPECT_EQ(all[3] - before[3], geometry[3] - all[3]);
}

// A connected transfer makes every geometry change busy, naming the
// parameter, and nothing is written or taken; a combination refusal leaves
// the board unprogrammed and returns its status.
TEST_F(AcqApply, BusyAndRefusedCombinationsWriteNothing) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  const std::uint32_t writes = Writes(kCropFirstPixel);
  ASSERT_EQ(Ask(h, "busy 0 0 1"), "0");
  EXPECT_EQ(Ask(h, "set 0 0 10 640"), "0x400a57");
  EXPECT_EQ(Ask(h, "set 0 0 2067 320"), "0x481357");
  EXPECT_EQ(Ask(h, "set 0 0 2068 240"), "0x481457");
  EXPECT_EQ(Ask(h, "prm 0 0 2067"), "0x280");
  EXPECT_EQ(Ask(h, "prm 0 0 2068"), "0x1e0");
  ASSERT_EQ(Ask(h, "busy 0 0 0"), "0");
  EXPECT_EQ(Writes(kCropFirstPixel), writes);

  // 10 taps of 8 bits side by side need a parallel arrangement (CAM 88 bit 4):
  // refused, the board not programmed, the old values applied again.
  EXPECT_EQ(Ask(h, "poke 0 0 88 0x10"), "0");
  EXPECT_EQ(Ask(h, "geometry 0 0 88"), "0x40322b");
  EXPECT_EQ(Writes(kCropFirstPixel), writes);
}

}  // namespace
}  // namespace acq_device_test
