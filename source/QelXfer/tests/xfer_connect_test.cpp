// Connecting an acquisition device to host buffers on a board: the internal
// buffers made in the board's memory and given back, the board transfer that
// carries the camera's frames into the host buffers, the device's
// transfer-connected flag, the refusals that leave nothing behind, and the
// strips a tall frame falls back to when whole frames do not fit.
#include <chrono>
#include <thread>

#include "source/QelAcq/tests/acq_apply_fixture.h"

namespace {

using acq_device_test::AcqApply;
using acq_device_test::BoardPreset;
using acq_device_test::ChildProcess;
using acq_device_test::Factory;

constexpr char kNoConnection[] = "matrix 0 0 0 0 -1 0 0 -1 -1 -1 -1 0";

class XferConnect : public AcqApply {
 protected:
  // A helper serving board 0 with device `slot` opened, its parameters applied.
  ChildProcess& Server(const std::string& slot = "0") {
    ChildProcess& helper = Helper("quillet-helper-xferconnect");
    EXPECT_EQ(Ask(helper, "start"), "started 0x0");
    EXPECT_EQ(Ask(helper, "open 0 " + slot), "0x0");
    EXPECT_EQ(Ask(helper, "applyall 0 " + slot), "0x0");
    return helper;
  }
  // Kills a helper with SIGKILL; the fixture no longer waits for it.
  void Kill(ChildProcess& helper) {
    helper.kill_hard();
    std::erase_if(helpers_, [&](const std::unique_ptr<ChildProcess>& h) { return h.get() == &helper; });
  }
  // The camera's window (VIC 2067, 2068, CAM 10, 12) at (16, 8) when `x` and `y` say so.
  static void SetWindow(ChildProcess& h, std::uint32_t width, std::uint32_t height, std::uint32_t x = 0,
                        std::uint32_t y = 0) {
    const std::string lines[] = {"set 0 0 2067 " + std::to_string(width), "set 0 0 10 " + std::to_string(width),
                                 "set 0 0 21 " + std::to_string(x),     "set 0 0 23 " + std::to_string(y),
                                 "set 0 0 2068 " + std::to_string(height),
                                 "set 0 0 12 " + std::to_string(height + y)};
    for (const std::string& line : lines) ASSERT_EQ(Ask(h, line), "0x0") << line;
  }
  static std::uint32_t FreeKib(ChildProcess& helper) {
    const std::string line = Ask(helper, "free 0 0");
    return static_cast<std::uint32_t>(std::stoul(line.substr(5)));
  }
  // Polls host buffer n until it holds `expected` (or begins with it); false after a minute.
  static bool ImageArrives(ChildProcess& helper, std::uint32_t n, const std::string& expected, bool whole = true) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string image = Ask(helper, "image " + std::to_string(n));
      if (whole ? image == expected : image.rfind(expected, 0) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
};

// Two internal buffers in the board's memory (each the camera's whole frame of
// 72 lines) stand between the camera and a contiguous and a scatter-gather
// host buffer; a grab carries two frames
// through them; disconnect gives back the memory, the place and the flag.
TEST_F(XferConnect, InternalBuffersCarryFramesIntoHostBuffersAndGoBack) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 96, 80, 2000);
  ChildProcess& h = Server();
  SetWindow(h, 64, 64, 16, 8);
  const std::uint32_t before = FreeKib(h);
  ASSERT_EQ(Ask(h, "host 0x1 64 64 1"), "host 0x0");
  ASSERT_EQ(Ask(h, "host 0x20 64 64 1"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  ASSERT_EQ(Ask(h, "connect"), "0x0") << Log();
  EXPECT_EQ(Ask(h, "stage"), "stage 2 72 0");
  EXPECT_LT(FreeKib(h), before);
  EXPECT_EQ(Ask(h, "stages 0").rfind("stages 1 ", 0), 0u);
  EXPECT_EQ(Ask(h, "connected 0 0"), "1");
  EXPECT_EQ(Ask(h, "set 0 0 2068 48"), "0x481457");  // the window is busy while connected
  EXPECT_EQ(Ask(h, "matrix 0"), "matrix 1 0 0 0 -1 0 0 -1 -1 -1 -1 0");

  const std::uint32_t first = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "nframes 0 0 2"), "0");
  EXPECT_TRUE(ImageArrives(h, 0, Pattern(0, first, 16, 8, 64, 64)));
  EXPECT_TRUE(ImageArrives(h, 1, Pattern(0, first + 1, 16, 8, 64, 64)));
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");

  EXPECT_EQ(Ask(h, "disconnect"), "0x0");
  EXPECT_EQ(Ask(h, "stage"), "stage 0 0 0");
  EXPECT_EQ(FreeKib(h), before);
  EXPECT_EQ(Ask(h, "stages 0"), "stages 0 0 0 0");
  EXPECT_EQ(Ask(h, "connected 0 0"), "0");
  EXPECT_EQ(Ask(h, "matrix 0"), kNoConnection);
  EXPECT_EQ(Ask(h, "disconnect"), "0x0");  // not connected: nothing to do
  EXPECT_EQ(Ask(h, "release"), "0x0");
}

// A host buffer one pixel narrower than the window is refused with the ROI
// line; the internal buffers, the place and the device's flag are as before.
TEST_F(XferConnect, NarrowHostBufferIsRefusedAndLeavesNothingBehind) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& h = Server();
  SetWindow(h, 64, 64);
  const std::uint32_t before = FreeKib(h);
  ASSERT_EQ(Ask(h, "host 0x1 63 64 1"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  EXPECT_EQ(Ask(h, "connect"), "0x4c00050");
  EXPECT_EQ(LogLines("Incompatible ROI for host buffer, expected at least 64x64, got 63x64").size(), 1u) << Log();
  EXPECT_EQ(Ask(h, "stage"), "stage 0 0 0");
  EXPECT_EQ(FreeKib(h), before);
  EXPECT_EQ(Ask(h, "connected 0 0"), "0");
  EXPECT_EQ(Ask(h, "matrix 0"), kNoConnection);
  EXPECT_EQ(Ask(h, "stages 0"), "stages 0 0 0 0");
}

// On a board with 1 MB of memory (half of it for each camera) a frame of 480
// lines does not fit twice: the internal buffers become strips of 160 lines
// (the first cut whose strips and reserve fit), and the host buffer still
// gets the whole frame.
TEST_F(XferConnect, TallFrameOnSmallMemoryIsCarriedInStrips) {
  BoardPreset small = Factory("FolvantX4Dual");
  small.bytes = {{41, 1}, {42, 0}, {49, 0}, {50, 0}};
  StartBoards({small});
  SetCamera(0, 640, 480, 2000);
  ChildProcess& h = Server();
  SetWindow(h, 640, 480);
  const std::uint32_t before = FreeKib(h);
  ASSERT_EQ(Ask(h, "host 0x1 640 480 1"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  ASSERT_EQ(Ask(h, "connect"), "0x0");
  EXPECT_EQ(Ask(h, "stage"), "stage 2 160 3");
  const std::uint32_t first = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "nframes 0 0 1"), "0");
  EXPECT_TRUE(ImageArrives(h, 0, Pattern(0, first, 0, 0, 640, 480)));
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
  EXPECT_EQ(Ask(h, "disconnect"), "0x0");
  EXPECT_EQ(FreeKib(h), before);
}

// On a board with 1 MB of memory (512 KiB a camera) and the flat-field unit,
// with the correction on: the selected coefficient buffer (two bytes a pixel
// of the frame) takes its room first, and each 8-bit internal buffer counts
// twice. A 320 x 320 frame, which fits without the correction, does not, and
// an area camera under the correction may not fall back to strips: out of
// memory, nothing left behind; a 320 x 240 frame still fits twice whole.
TEST_F(XferConnect, FlatFieldCoefficientsTakeTheirRoomBesideTheInternalBuffers) {
  BoardPreset small = Factory("FolvantX4Dual");
  small.bytes = {{41, 1}, {42, 0}, {49, 0}, {50, 0}};
  small.firmwareOptions = 1u << 3;  // the flat-field unit
  StartBoards({small});
  SetCamera(0, 640, 480, 2000);
  ChildProcess& h = Server();
  struct Case {
    std::uint32_t lines;
    const char* connect;
    const char* stage;
  };
  // The taller window first: a window only shrinks below the camera's lines set before it.
  for (const Case& c : {Case{320, "0x4c00047", "stage 0 0 0"}, Case{240, "0x0", "stage 2 240 0"}}) {
    SetWindow(h, 320, c.lines);
    const std::string lines = std::to_string(c.lines);
    ASSERT_EQ(Ask(h, "host 0x1 320 " + lines + " 1"), "host 0x0");
    ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
    ASSERT_EQ(Ask(h, "connect"), "0x0") << c.lines;  // without the correction
    EXPECT_EQ(Ask(h, "stage"), "stage 2 " + lines + " 0");
    ASSERT_EQ(Ask(h, "disconnect"), "0x0");

    ASSERT_EQ(Ask(h, "coefficients 0 0"), "0x0 1");
    const std::uint32_t withCoefficients = FreeKib(h);
    ASSERT_EQ(Ask(h, "level 0 0 0x70C0004 1"), "0x0");
    ASSERT_EQ(Ask(h, "level 0 0 0x70D0004 1"), "0x0");
    EXPECT_EQ(Ask(h, "connect"), c.connect) << c.lines;
    EXPECT_EQ(Ask(h, "stage"), c.stage) << c.lines;
    EXPECT_EQ(Ask(h, "disconnect"), "0x0");
    EXPECT_EQ(FreeKib(h), withCoefficients) << c.lines;
    EXPECT_EQ(Ask(h, "connected 0 0"), "0");
    ASSERT_EQ(Ask(h, "level 0 0 0x70D0004 0"), "0x0");
    ASSERT_EQ(Ask(h, "nocoefficients 0 0 1"), "0x0");
    ASSERT_EQ(Ask(h, "release"), "0x0");
  }
}

// The camera's 64 x 64 frame `number` through the coefficients the helper
// writes (offset (x + 2y) % 24, gain 64 + (3x + y) % 160, a gain of 128 is 1).
std::string CorrectedFrame(std::uint32_t number) {
  std::string hex;
  char two[3];
  for (std::uint32_t y = 0; y < 64; ++y)
    for (std::uint32_t x = 0; x < 64; ++x) {
      const std::uint32_t pixel = plat::board::camera_pattern(0, 0, number, x, y), offset = (x + 2 * y) % 24;
      const std::uint32_t above = pixel > offset ? pixel - offset : 0;
      std::snprintf(two, sizeof two, "%02x", std::min(above * (64 + (3 * x + y) % 160) / 128, 255u));
      hex += two;
    }
  return hex;
}

// With the correction on, the host stage names the coefficients: the flag
// word carries the insert flag of a buffer made for an area camera, each host
// element the coefficient buffer of its frame (the selection, or counted
// through the buffers with the group's 0x1A0004 at 2), and the board
// library's insert list A the on-board coefficients; the frame arrives
// corrected. A pair that names no buffer of its own (0x1A0004 at 4) is
// refused and leaves nothing behind.
TEST_F(XferConnect, FlatFieldCoefficientsLeadTheHostStageAndTheFrameArrivesCorrected) {
  BoardPreset preset = Factory("FolvantX4Dual");
  preset.firmwareOptions = 1u << 3;  // the flat-field unit
  preset.bytes = {{82, 0x08}};       // processing kind 2: 8 coefficient buffers
  StartBoards({preset});
  SetCamera(0, 64, 64, 2000);
  ChildProcess& h = Server();
  SetWindow(h, 64, 64);
  ASSERT_EQ(Ask(h, "coefficients 0 0"), "0x0 1");
  ASSERT_EQ(Ask(h, "coefficients 0 0"), "0x0 2");
  ASSERT_EQ(Ask(h, "coefficientimages 0 0 1 64 64"), "0x0");
  ASSERT_EQ(Ask(h, "level 0 0 0x70D0004 1"), "0x0");
  const std::uint32_t before = FreeKib(h);
  ASSERT_EQ(Ask(h, "host 0x1 64 64 3"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  ASSERT_EQ(Ask(h, "connect"), "0x0") << Log();
  const std::string first = Ask(h, "coefficientaddress 0 0 1");
  EXPECT_EQ(Ask(h, "inserts"), "inserts 0x1001 1 1 1 " + first);
  const std::uint32_t number = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "nframes 0 0 1"), "0");
  EXPECT_TRUE(ImageArrives(h, 0, CorrectedFrame(number)));
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
  ASSERT_EQ(Ask(h, "disconnect"), "0x0");

  ASSERT_EQ(Ask(h, "next 0"), "0x0");  // the host group becomes current again
  ASSERT_EQ(Ask(h, "xferprm 0x1A0004 2"), "0x0");
  ASSERT_EQ(Ask(h, "connect"), "0x0") << Log();
  EXPECT_EQ(Ask(h, "inserts"), "inserts 0x1001 1 2 1 " + first);
  ASSERT_EQ(Ask(h, "disconnect"), "0x0");

  ASSERT_EQ(Ask(h, "next 0"), "0x0");
  ASSERT_EQ(Ask(h, "xferprm 0x1A0004 4"), "0x0");
  EXPECT_EQ(Ask(h, "connect"), "0x4c0172b");
  EXPECT_EQ(Ask(h, "stage"), "stage 0 0 0");
  EXPECT_EQ(Ask(h, "connected 0 0"), "0");
  EXPECT_EQ(Ask(h, "matrix 0"), kNoConnection);
  ASSERT_EQ(Ask(h, "release"), "0x0");
  EXPECT_EQ(FreeKib(h), before);
  EXPECT_EQ(Ask(h, "level 0 0 0x70D0004 0"), "0x0");
}

// Onboard buffer 1's LUT (256 entries (7i + 3) % 256, each 16 bits on the
// board) as hex.
std::string OnboardLutBytes() {
  std::string hex;
  char two[3];
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::snprintf(two, sizeof two, "%02x", (7 * i + 3) % 256);
    hex += std::string(two) + two;
  }
  return hex;
}

// Option bit 3 with the counter counting through the connector's onboard
// buffers (counter mode 2, value 2): the host elements name buffers 1, 2,
// 1 as their camera inserts, the board library's camera insert list the
// onboard buffers, and a grabbed host buffer holds its onboard buffer's
// bytes in front of the frame. A counter that names no buffer made (3), and
// a zero counter, are refused and leave nothing behind.
TEST_F(XferConnect, CountedCameraInsertsLeadTheFrameWithTheirOnboardBuffer) {
  // Processing kind 1 alone (listed kinds, byte 99), which the back-end LUT
  // capability serves: onboard buffers, and option bit 3 for the group.
  BoardPreset preset = Factory("FolvantX4Dual");
  preset.bytes = {{82, 0x10}, {99, 0x01}};
  StartBoards({preset});
  ASSERT_EQ(plat::testing::board_control_register_write(0, 0x5000, 0x1), plat::board::kControlOk);
  SetCamera(0, 64, 64, 2000);
  ChildProcess& h = Server();
  SetWindow(h, 64, 64);
  ASSERT_EQ(Ask(h, "onboard 0 0"), "0x0 1");
  ASSERT_EQ(Ask(h, "onboard 0 0"), "0x0 2");
  ASSERT_EQ(Ask(h, "onboardlut 0 0 1"), "0x0");
  const std::uint32_t before = FreeKib(h);
  ASSERT_EQ(Ask(h, "host 0x1 64 64 3"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  for (const char* line : {"xferprm 0x1B0004 8", "xferprm 0x1D0004 2", "xferprm 0x1C0004 2"})
    ASSERT_EQ(Ask(h, line), "0x0") << line;
  ASSERT_EQ(Ask(h, "connect"), "0x0") << Log();
  EXPECT_EQ(Ask(h, "camerainserts"), "camerainserts 0x3000 1 2 1 " + Ask(h, "onboardaddress 0 0 1"));
  const std::uint32_t number = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "nframes 0 0 1"), "0");
  const std::string lead = OnboardLutBytes() + Pattern(0, number, 0, 0, 64, 8);  // 512 bytes, then the frame
  EXPECT_TRUE(ImageArrives(h, 0, lead, false)) << Ask(h, "image 0");
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
  ASSERT_EQ(Ask(h, "disconnect"), "0x0");

  // Counted to buffer 3, which was not made; the group's own counter of 0.
  for (const auto& [mode, value] : {std::pair{"2", "3"}, std::pair{"1", "0"}}) {
    ASSERT_EQ(Ask(h, "next 0"), "0x0");  // the host group becomes current again
    ASSERT_EQ(Ask(h, std::string("xferprm 0x1D0004 ") + mode), "0x0");
    ASSERT_EQ(Ask(h, std::string("xferprm 0x1C0004 ") + value), "0x0");
    EXPECT_EQ(Ask(h, "connect"), "0x4c01c2b") << value;
    EXPECT_EQ(Ask(h, "stage"), "stage 0 0 0") << value;
    EXPECT_EQ(Ask(h, "stages 0"), "stages 0 0 0 0") << value;
    EXPECT_EQ(Ask(h, "connected 0 0"), "0") << value;
    EXPECT_EQ(Ask(h, "matrix 0"), kNoConnection) << value;
  }
  ASSERT_EQ(Ask(h, "release"), "0x0");
  EXPECT_EQ(FreeKib(h), before);
}

// The next buffer filled can be chosen on a connected transfer: the frame
// lands in the second host buffer.
TEST_F(XferConnect, AnAddedDestinationIsTheNextBufferFilled) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 96, 80, 2000);
  ChildProcess& h = Server();
  SetWindow(h, 64, 64, 16, 8);
  ASSERT_EQ(Ask(h, "host 0x1 64 64 2"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  ASSERT_EQ(Ask(h, "connect"), "0x0");
  const std::string empty = Ask(h, "image 0");
  ASSERT_EQ(Ask(h, "next 1"), "0x0");
  const std::uint32_t first = GrabState(0).next_frame;
  ASSERT_EQ(Ask(h, "nframes 0 0 1"), "0");
  EXPECT_TRUE(ImageArrives(h, 1, Pattern(0, first, 16, 8, 64, 64)));
  EXPECT_EQ(Ask(h, "image 0"), empty);
  EXPECT_EQ(Ask(h, "abort 0 0"), "0");
  EXPECT_EQ(Ask(h, "disconnect"), "0x0");
}

// Two frames of an area camera that do not fit the memory left fail every
// attempt, the reserve growing each time; each attempt gives back its places
// and its memory, so nothing is left when the last one fails.
TEST_F(XferConnect, OutOfMemoryAfterEveryRetryLeavesNothingBehind) {
  BoardPreset small = Factory("FolvantX4Dual");
  small.bytes = {{41, 1}, {42, 0}, {49, 0}, {50, 0}};
  StartBoards({small});
  ChildProcess& h = Server();
  SetWindow(h, 640, 480);
  ASSERT_EQ(Ask(h, "poke 0 0 0 2"), "0");  // two camera frames to one buffer
  const std::uint32_t before = FreeKib(h);
  ASSERT_EQ(Ask(h, "host 0x20 640 480 1"), "host 0x0");
  ASSERT_EQ(Ask(h, "xfer 0 0"), "0x0");
  EXPECT_EQ(Ask(h, "connect"), "0x4c00047");
  EXPECT_EQ(Ask(h, "stage"), "stage 0 0 0");
  EXPECT_EQ(FreeKib(h), before);
  EXPECT_EQ(Ask(h, "matrix 0"), kNoConnection);
  EXPECT_EQ(Ask(h, "connected 0 0"), "0");
}

// Two processes hold the board's two acquisition-to-host places; a third
// connect is refused. The places of a process killed with SIGKILL are given
// back at the next admission, with a log line.
TEST_F(XferConnect, PlacesAreSharedByProcessesAndThoseOfAKilledOneComeBack) {
  StartBoards({Factory("FolvantX4Dual")});
  ChildProcess& a = Server("0");
  ASSERT_EQ(Ask(a, "host 0x1 640 480 1"), "host 0x0");
  ASSERT_EQ(Ask(a, "xfer 0 0"), "0x0");
  ASSERT_EQ(Ask(a, "connect"), "0x0");
  ChildProcess& b = Server("1");
  ASSERT_EQ(Ask(b, "host 0x1 640 480 1"), "host 0x0");
  ASSERT_EQ(Ask(b, "xfer 0 1"), "0x0");
  ASSERT_EQ(Ask(b, "connect"), "0x0") << Log();
  EXPECT_EQ(Ask(a, "matrix 0"), "matrix 2 0 0 0 -1 0 0 -1 -1 -1 -1 0");
  ASSERT_EQ(Ask(a, "host 0x1 640 480 1"), "host 0x0");
  ASSERT_EQ(Ask(a, "xfer 0 0"), "0x0");
  EXPECT_EQ(Ask(a, "connect"), "0x4c0004f");
  EXPECT_EQ(Ask(a, "release"), "0x0");  // back to the first transfer

  Kill(b);
  EXPECT_EQ(Ask(a, "disconnect"), "0x0");
  EXPECT_EQ(Ask(a, "matrix 0"), "matrix 1 0 0 0 -1 0 0 -1 -1 -1 -1 0");  // the killed one's place
  ASSERT_EQ(Ask(a, "connect"), "0x0");
  EXPECT_EQ(Ask(a, "matrix 0"), "matrix 1 0 0 0 -1 0 0 -1 -1 -1 -1 0");
  EXPECT_EQ(LogLines("(the process ended)").size(), 1u);
  EXPECT_EQ(Ask(a, "disconnect"), "0x0");
  EXPECT_EQ(Ask(a, "matrix 0"), kNoConnection);
}

// A process that ends (its input ends) with its transfer still connected,
// grabbing or not, exits with status 0; the next process opens the device,
// connects and grabs, and its place and the board's memory are back.
TEST_F(XferConnect, AProcessEndingWhileConnectedExitsCleanlyAndTheNextOneGrabs) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, 64, 64, 2000);
  for (const bool grabbing : {true, false}) {
    ChildProcess& ended = Server();
    SetWindow(ended, 64, 64);
    const std::uint32_t before = FreeKib(ended);
    ASSERT_EQ(Ask(ended, "host 0x1 64 64 2"), "host 0x0");
    ASSERT_EQ(Ask(ended, "xfer 0 0"), "0x0");
    ASSERT_EQ(Ask(ended, "connect"), "0x0") << Log();
    if (grabbing) {
      const std::uint32_t done = GrabState(0).frames_completed;
      ASSERT_EQ(Ask(ended, "video 0 0"), "0");
      ASSERT_TRUE(WaitGrab(0, [done](const auto& state) { return state.frames_completed >= done + 2; }));
    }
    ended.write_line("quit");
    EXPECT_EQ(ended.wait(std::chrono::seconds(60)), 0) << grabbing;
    std::erase_if(helpers_, [&](const std::unique_ptr<ChildProcess>& h) { return h.get() == &ended; });

    ChildProcess& next = Server();
    SetWindow(next, 64, 64);
    ASSERT_EQ(Ask(next, "host 0x1 64 64 1"), "host 0x0");
    ASSERT_EQ(Ask(next, "xfer 0 0"), "0x0");
    ASSERT_EQ(Ask(next, "connect"), "0x0") << grabbing << Log();
    EXPECT_EQ(Ask(next, "matrix 0"), "matrix 1 0 0 0 -1 0 0 -1 -1 -1 -1 0") << grabbing;
    ASSERT_EQ(Ask(next, "nframes 0 0 1"), "0");
    EXPECT_TRUE(ImageArrives(next, 0, Pattern(0, 0, 0, 0, 64, 64))) << grabbing;  // a start counts from 0
    EXPECT_EQ(Ask(next, "abort 0 0"), "0");
    EXPECT_EQ(Ask(next, "disconnect"), "0x0");
    EXPECT_EQ(Ask(next, "release"), "0x0");
    EXPECT_EQ(Ask(next, "matrix 0"), kNoConnection) << grabbing;
    EXPECT_EQ(FreeKib(next), before) << grabbing;
    next.write_line("quit");
    EXPECT_EQ(next.wait(std::chrono::seconds(60)), 0) << grabbing;
    std::erase_if(helpers_, [&](const std::unique_ptr<ChildProcess>& h) { return h.get() == &next; });
  }
}

}  // namespace
