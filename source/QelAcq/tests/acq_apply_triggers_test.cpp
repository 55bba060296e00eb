// The trigger apply through the real road: the frame trigger and the
// software trigger in grabbed frames, the line trigger's and the
// camera-control timers' registers as the records give them, the timing
// conflicts, and each apply-table handler reaching its own block only.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "source/QelAcq/tests/acq_apply_fixture.h"

namespace acq_device_test {
namespace {

// Camera 0's grab-controller and front-end registers.
constexpr std::uint32_t kTriggerControl = 0x1020, kFrameTriggerOn = 1u << 12;
constexpr std::uint32_t kTimer0Control = 0x1034, kTimer0First = 0x1038, kTimer0Second = 0x103C;
constexpr std::uint32_t kLineControl = 0x1068;
constexpr std::uint32_t kLineTimerBits = 0xFFF70000;  // period, its unit, the timer on
constexpr std::uint32_t kCropFirstPixel = 0x1148;
constexpr std::uint32_t kLutControl = 0x5004;
constexpr std::uint32_t kTapMap = 0x1208;
constexpr std::uint32_t kPocl = 0x10028;
constexpr std::uint32_t kBoardSync = 0x125C;

bool WaitsForTrigger(const plat::board::ControlGrabState& s) { return s.waiting_trigger == 1; }

// With the frame trigger on, each software trigger gives one frame, the
// camera's next; with it off, the frames follow at the camera's own rate.
TEST_F(AcqApply, SoftwareTriggerGivesOneFramePerTriggerAndFreeRunFollowsTheCamera) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 64, 8, 2000);
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  ASSERT_EQ(Ask(h, "set 0 0 2092 8"), "0x0");
  EXPECT_EQ(Peek(kTriggerControl) & kFrameTriggerOn, kFrameTriggerOn);
  ASSERT_EQ(Ask(h, "connect 0 0 6 64 8"), "0");
  ASSERT_EQ(Ask(h, "nframes 0 0 3"), "0");
  const std::uint32_t started = GrabState(0).frames_started;
  for (std::uint32_t k = 0; k < 3; ++k) {
    ASSERT_TRUE(WaitGrab(0, WaitsForTrigger)) << k;
    const plat::board::ControlGrabState before = GrabState(0);
    EXPECT_EQ(before.frames_started, started + k);
    EXPECT_EQ(Ask(h, "swtrigger 0 0"), "0x0");
    EXPECT_EQ(Ask(h, "message 30000"), std::to_string(k) + " 0 1");
    EXPECT_EQ(Ask(h, "image 0 0 " + std::to_string(k)), Pattern(0, before.next_frame, 0, 0, 64, 8)) << k;
  }
  ASSERT_TRUE(WaitGrab(0, [](const plat::board::ControlGrabState& s) { return s.running == 0; }));
  EXPECT_EQ(GrabState(0).frames_started, started + 3);

  ASSERT_EQ(Ask(h, "set 0 0 2092 1"), "0x0");
  EXPECT_EQ(Peek(kTriggerControl) & kFrameTriggerOn, 0u);
  const plat::board::ControlGrabState free = GrabState(0);
  ASSERT_EQ(Ask(h, "nframes 0 0 3"), "0");
  for (std::uint32_t k = 3; k < 6; ++k) EXPECT_EQ(Ask(h, "message 30000"), std::to_string(k) + " 0 1");
  const std::uint32_t first = GrabState(0).next_frame - 3;
  for (std::uint32_t k = 0; k < 3; ++k)
    EXPECT_EQ(Ask(h, "image 0 0 " + std::to_string(3 + k)), Pattern(0, first + k, 0, 0, 64, 8)) << k;
  EXPECT_EQ(GrabState(0).triggers, free.triggers);
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
}

// The internal line trigger runs at VIC 2110 lines per second (a period of
// 10000000 / VIC 2110 tenths of a microsecond) and is written twice by one
// apply; a window of 0 is refused before anything is written. The first
// camera-control timer, with camera control on (VIC 2084) in mode CAM 33 = 1,
// pulses after VIC 2138 for VIC 2085.
TEST_F(AcqApply, LineTriggerAndTimerRegistersFollowTheRecords) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  ASSERT_EQ(Ask(h, "set 0 0 2110 1000"), "0x0");
  const std::uint32_t lineWrites = Writes(kLineControl);
  ASSERT_EQ(Ask(h, "set 0 0 2109 1"), "0x0");
  EXPECT_EQ(Peek(kLineControl) & kLineTimerBits, (1000u << 20) | (1u << 17) | (1u << 16));
  EXPECT_EQ(Writes(kLineControl), lineWrites + 2);

  ASSERT_EQ(Ask(h, "poke 0 0 2110 0"), "0");
  EXPECT_EQ(Ask(h, "triggers 0 0"), "0x483e2b");
  EXPECT_EQ(Writes(kLineControl), lineWrites + 2);

  // The camera-control values are written straight into the device's
  // parameters and the group applied as the apply-all road applies it.
  for (const char* line : {"poke 0 0 2110 1000", "poke 0 0 2138 1234", "poke 0 0 2085 5678", "poke 0 0 61 1",
                           "poke 0 0 2084 1", "poke 0 0 33 1"})
    ASSERT_EQ(Ask(h, line), "0") << line;
  ASSERT_EQ(Ask(h, "triggers 0 0"), "0x0");
  EXPECT_EQ(Peek(kTimer0Control) & 1, 1u);
  EXPECT_EQ(Peek(kTimer0First), 1234u);
  EXPECT_EQ(Peek(kTimer0Second), 5678u);
}

// An area-scan device with the frame trigger on (VIC 2092 = 8) cannot take a
// trigger window (VIC 2125): refused, naming VIC 2125 when it came through
// VIC 2125, else VIC 2092, and nothing is programmed.
TEST_F(AcqApply, TimingConflictIsRefusedAndProgramsNothing) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  ASSERT_EQ(Ask(h, "set 0 0 2092 8"), "0x0");
  EXPECT_EQ(Ask(h, "set 0 0 2125 1"), "0x484d2d");  // the set road then applies the old value again
  EXPECT_EQ(Ask(h, "prm 0 0 2125"), "0x0");
  ASSERT_EQ(Ask(h, "poke 0 0 2125 1"), "0");
  const std::uint32_t writes = Writes(kTriggerControl);
  EXPECT_EQ(Ask(h, "triggers 0 0"), "0x482c2d");
  EXPECT_EQ(Writes(kTriggerControl), writes);
}

// CAM 110's handler runs the frame-trigger apply and, only when that
// succeeds, the whole trigger apply: a frame-trigger delay the board refuses
// (beyond 65535000, written past the validators) stops it before the line
// trigger is written.
TEST_F(AcqApply, FailedFrameTriggerApplyStopsCam110BeforeTheTriggers) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  ASSERT_EQ(Ask(h, "set 0 0 2092 8"), "0x0");
  const std::uint32_t lines = Writes(kLineControl), triggers = Writes(kTriggerControl);
  EXPECT_EQ(Ask(h, "apply 0 0 110"), "0x0");
  EXPECT_GT(Writes(kLineControl), lines);
  EXPECT_GT(Writes(kTriggerControl), triggers);

  ASSERT_EQ(Ask(h, "poke 0 0 2161 70000000"), "0");
  const std::uint32_t linesBefore = Writes(kLineControl), triggersBefore = Writes(kTriggerControl);
  EXPECT_NE(Ask(h, "apply 0 0 110"), "0x0");
  EXPECT_EQ(Writes(kLineControl), linesBefore);
  EXPECT_EQ(Writes(kTriggerControl), triggersBefore);
}

// Each apply-table handler reaches its own block of the board and leaves the
// others alone.
struct HandlerCase {
  std::string set;
  std::vector<std::uint32_t> reached;  // none: no board access at all
};

TEST_F(AcqApply, EachHandlerReachesItsOwnBlockOnly) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  const std::array<std::uint32_t, 7> blocks = {kCropFirstPixel, kTriggerControl, kLutControl, kTapMap,
                                               kPocl,           kBoardSync,      kTimer0Control};
  const std::vector<HandlerCase> cases = {
      {"set 0 0 11 12", {}},                                         // store only
      {"set 0 0 2 2", {}},                                           // empty entry
      {"set 0 0 2093 0x41 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0", {}},           // store only (VIC, 16 words)
      {"set 0 0 10 640", {kCropFirstPixel, kLutControl, kBoardSync}},  // geometry, its LUT and board sync
      {"set 0 0 2172 1", {kPocl}},                                   // PoCL
      {"set 0 0 2075 1", {kLutControl}},                             // LUT alone
      {"set 0 0 2111 1", {kTapMap}},                                 // camera control
      {"set 0 0 2092 8", {kTriggerControl, kTapMap, kBoardSync, kTimer0Control}},  // the trigger group
  };
  for (const HandlerCase& c : cases) {
    std::array<std::uint32_t, blocks.size()> before{};
    for (std::size_t i = 0; i < blocks.size(); ++i) before[i] = Writes(blocks[i]);
    EXPECT_EQ(Ask(h, c.set), "0x0") << c.set;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      if (std::find(c.reached.begin(), c.reached.end(), blocks[i]) != c.reached.end())
        EXPECT_GT(Writes(blocks[i]), before[i]) << c.set;
      else
        EXPECT_EQ(Writes(blocks[i]), before[i]) << c.set << ", register 0x" << std::hex << blocks[i];
    }
  }
}

}  // namespace
}  // namespace acq_device_test
