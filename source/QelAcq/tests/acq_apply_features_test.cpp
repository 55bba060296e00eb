// The per-feature appliers through the real road: the input LUT in the
// grabbed image and the LUT it selects, Power over Camera Link and the camera status, the board-sync
// master table, an output format whose LUT cannot follow, camera control,
// and the parameters that never reach the board.
#include <array>
#include <string>

#include "source/QelAcq/tests/acq_apply_fixture.h"
#include "source/firmware/tests/road_test_support.h"

namespace acq_device_test {
namespace {

constexpr std::uint32_t kLutControl = 0x5004;
constexpr std::uint32_t kPocl = 0x10028;
constexpr std::uint32_t kBoardSync = 0x125C;  // camera 1 at + 0x400
constexpr std::uint32_t kTapMap = 0x1208;

// One 64-byte x 8-line frame of device (0, 0) grabbed into a host buffer, as hex.
std::string GrabbedFrame(ChildProcess& h) {
  using road_test::AskLine;
  EXPECT_EQ(AskLine(h, "connect 0 0 1 64 8"), "0");
  EXPECT_EQ(AskLine(h, "nframes 0 0 1"), "0");
  EXPECT_EQ(AskLine(h, "message 30000"), "0 0 1");
  const std::string image = AskLine(h, "image 0 0 0");
  EXPECT_EQ(AskLine(h, "abort 0 0"), "0");
  return image;
}

TEST_F(AcqApply, ReversedLutMakesTheNextFrameTheCamerasNegative) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 64, 8, 2000);
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  EXPECT_EQ(Ask(h, "lutstore 0 0 0 256 reversed"), "0x0");
  EXPECT_EQ(Read(kLutControl) & 0x80, 0u);
  EXPECT_EQ(Ask(h, "set 0 0 2075 1"), "0x0");
  EXPECT_EQ(Read(kLutControl) & 0x80, 0x80u);
  const std::uint32_t first = GrabState(0).next_frame;
  EXPECT_EQ(GrabbedFrame(h), Pattern(0, first, 0, 0, 64, 8, [](std::uint8_t b) { return 255 - b; }));
}

// The LUT selection (VIC 2076) is bounded by the device's LUT count only while
// the device has a LUT: chosen while the 14-bit camera had none, it outlives
// the camera's return to 8 bits. A LUT write then refuses the selection as out
// of range rather than programming the board from a LUT the device does not
// have (another connector's); selected back to 0, the written LUT maps the
// grabbed frame.
TEST_F(AcqApply, ALutSelectionBeyondTheDevicesLutsIsRefusedRatherThanProgrammed) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 64, 8, 2000);
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  ASSERT_EQ(Ask(h, "set 0 0 6 14"), "0x0");
  ASSERT_EQ(Ask(h, "prm 0 0 2094"), "0x0");
  ASSERT_EQ(Ask(h, "set 0 0 2076 1"), "0x0");
  ASSERT_EQ(Ask(h, "set 0 0 6 8"), "0x0");
  ASSERT_EQ(Ask(h, "prm 0 0 2094"), "0x1");
  EXPECT_EQ(Ask(h, "lutstore 0 0 0 256 reversed"), "0x481c2a");
  ASSERT_EQ(Ask(h, "set 0 0 2076 0"), "0x0");
  EXPECT_EQ(Ask(h, "lutstore 0 0 0 256 reversed"), "0x0");
  EXPECT_EQ(Ask(h, "set 0 0 2075 1"), "0x0");
  const std::uint32_t first = GrabState(0).next_frame;
  EXPECT_EQ(GrabbedFrame(h), Pattern(0, first, 0, 0, 64, 8, [](std::uint8_t b) { return 255 - b; }));
}

// A 10-bit camera into 16-bit pixels: the reversed 1024-entry LUT makes each
// grabbed pixel 1023 minus the camera's (low byte first).
TEST_F(AcqApply, ReversedTenBitLutMakesTheNextSixteenBitFrameTheCamerasNegative) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 32, 8, 2000, 10);
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  ASSERT_EQ(Ask(h, "set 0 0 6 10"), "0x0");
  ASSERT_EQ(Ask(h, "set 0 0 2088 0x1021000"), "0x0");
  EXPECT_EQ(Ask(h, "lutstore 0 0 0 1024 reversed"), "0x0");
  EXPECT_EQ(Ask(h, "set 0 0 2075 1"), "0x0");
  const std::uint32_t first = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "connect 0 0 1 64 8"), "0");
  ASSERT_EQ(Ask(h, "nframes 0 0 1"), "0");
  EXPECT_EQ(Ask(h, "message 30000"), "0 0 1");
  std::string expected;
  char four[5];
  for (std::uint32_t y = 0; y < 8; ++y)
    for (std::uint32_t x = 0; x < 64; x += 2) {
      const std::uint32_t camera = plat::board::camera_pattern(0, 0, first, x, y) |
                                   plat::board::camera_pattern(0, 0, first, x + 1, y) << 8;
      const std::uint32_t pixel = 1023 - (camera & 1023);
      std::snprintf(four, sizeof four, "%02x%02x", pixel & 0xFF, pixel >> 8);
      expected += four;
    }
  EXPECT_EQ(Ask(h, "image 0 0 0"), expected);
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
}

TEST_F(AcqApply, PoclSetsItsBitAndTheCameraStatusShowsThePower) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  EXPECT_EQ(Ask(h, "camstatus 0 0"), "0x0 0x4");
  EXPECT_EQ(Ask(h, "set 0 0 2172 1"), "0x0");
  EXPECT_EQ(Read(kPocl) & 1, 1u);
  EXPECT_EQ(Ask(h, "camstatus 0 0"), "0x0 0x84");
  EXPECT_EQ(Ask(h, "reopen 0 0"), "0x0");
  EXPECT_EQ(Ask(h, "camstatus 0 0"), "0x0 0x84");
  EXPECT_EQ(Ask(h, "set 0 0 2172 0"), "0x0");
  EXPECT_EQ(Read(kPocl) & 1, 0u);
}

// The Bayer decoder's pixel alignment (CAM 109 of 1, 2, 4, 8; register
// 0x5010 bits 2-3) as the Bayer apply programs it, on the Bayer device of a
// board made for one (model 0x2002).
TEST_F(AcqApply, BayerAlignmentFollowsItsParameter) {
  StartBoards({Model(0x2002, 0x280)});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  constexpr std::uint32_t kBayer = 0x5010, kAlignment = 0xC;
  EXPECT_EQ(Ask(h, "prm 0 0 2151"), "0x1");
  const std::array<std::pair<const char*, std::uint32_t>, 4> cases = {{
      {"set 0 0 109 2", 1u << 2}, {"set 0 0 109 4", 3u << 2}, {"set 0 0 109 8", 2u << 2}, {"set 0 0 109 1", 0}}};
  for (const auto& [set, bits] : cases) {
    EXPECT_EQ(Ask(h, set), "0x0") << set;
    EXPECT_EQ(Peek(kBayer) & kAlignment, bits) << set << ", writes " << Writes(kBayer);
  }
}

// Two devices of one board made board-sync masters in turn: the second
// takes the role and reprograms the first channel to (drive 1, mode 0).
TEST_F(AcqApply, SecondBoardSyncMasterReleasesTheFirst) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = ApplyHelper();
  Opened(h, "0 0");
  Opened(h, "0 1");
  EXPECT_EQ(Ask(h, "set 0 0 2146 4"), "0x0");
  EXPECT_EQ(Ask(h, "text 0 0 2166"), "To Board Sync");
  EXPECT_EQ(Ask(h, "master 0 0"), "1");
  EXPECT_EQ(Peek(kBoardSync) & 0x8F, 4u);
  const std::uint32_t writes = Writes(kBoardSync);
  EXPECT_EQ(Ask(h, "set 0 1 2146 5"), "0x0");
  EXPECT_EQ(Ask(h, "master 0 0"), "0");
  EXPECT_EQ(Ask(h, "master 0 1"), "1");
  EXPECT_EQ(Writes(kBoardSync), writes + 1);
  EXPECT_EQ(Peek(kBoardSync) & 0x8F, 0u);
  EXPECT_EQ(Peek(kBoardSync + 0x400) & 0x8F, 7u);
  EXPECT_EQ(Ask(h, "text 0 1 2166"), "Pulse to Board Sync");
}

// A 14-bit camera into 8-bit pixels needs a LUT the board cannot give: the
// LUT apply refuses, the output format is set all the same.
TEST_F(AcqApply, OutputFormatSucceedsWhenItsLutCannotBeProgrammed) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  EXPECT_EQ(Ask(h, "set 0 0 6 14"), "0x0");
  EXPECT_EQ(Ask(h, "prm 0 0 2094"), "0x0");
  EXPECT_EQ(Ask(h, "prm 0 0 2098"), "0x0");
  EXPECT_EQ(Ask(h, "lut 0 0"), "0x48282b");
  EXPECT_EQ(Ask(h, "set 0 0 2088 0x1010800"), "0x0");
  EXPECT_EQ(Ask(h, "prm 0 0 2088"), "0x1010800");
}

// Store-only (CAM 11) and empty (CAM 2) entries make the value current and
// never touch the board; an absent camera-control entry is refused on
// reading and sets the table unchanged, through the camera-control apply.
TEST_F(AcqApply, StoreOnlyAndEmptyEntriesNeverTouchTheBoard) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Opened(ApplyHelper(), "0 0");
  const std::array<std::uint32_t, 8> watched = {0x1148, 0x1020, 0x1034, 0x1070, kLutControl, kBoardSync, kTapMap, kPocl};
  const auto counts = [&watched] {
    std::array<std::uint32_t, 8> c{};
    for (std::size_t i = 0; i < watched.size(); ++i) c[i] = Writes(watched[i]);
    return c;
  };
  const auto before = counts();
  EXPECT_EQ(Ask(h, "set 0 0 11 12"), "0x0");
  EXPECT_EQ(Ask(h, "prm 0 0 11"), "0xc");
  EXPECT_EQ(Ask(h, "set 0 0 2 2"), "0x0");
  EXPECT_EQ(counts(), before);

  EXPECT_EQ(Ask(h, "camctl 0 0 3"), "0x40494b 0xdead");
  EXPECT_EQ(Ask(h, "camctlset 0 0 3 1"), "0x0");
  EXPECT_EQ(Writes(kTapMap), before[6] + 1);
}

}  // namespace
}  // namespace acq_device_test
