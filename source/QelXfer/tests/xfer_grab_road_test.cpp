// Grabs through the SDK's client API (quillet-helper-xfergrab): the client's
// callbacks with their event words and counts, XferWait, the images in the
// host buffers, stop, abort and start again, short frames and snaps.
#include <chrono>
#include <sstream>
#include <thread>

#include "platform/board/dma_frames.h"
#include "platform/testing/board_control.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using plat::testing::ChildProcess;

constexpr std::uint32_t kEndOfFrame = 0x800000;
constexpr std::uint32_t kEndOfTransfer = 0x4000000;
constexpr std::uint32_t kIncomplete = 0x40000000;

class XferGrab : public road_test::Road {
 protected:
  ChildProcess& Client() {
    ChildProcess& client = Start("quillet-helper-xfergrab");
    EXPECT_EQ(Ask(client, "open"), "open 0");
    return client;
  }
  static void SetCamera(std::uint32_t width, std::uint32_t height, std::uint32_t periodUs = 2000) {
    const plat::board::ControlCameraModel model{width, height, 1, 8, periodUs};
    ASSERT_EQ(plat::testing::board_control_set_camera_model(0, 0, model), plat::board::kControlOk);
  }
  static plat::board::ControlGrabState GrabState() {
    plat::board::ControlGrabState state{};
    EXPECT_EQ(plat::testing::board_control_grab_state(0, 0, &state), plat::board::kControlOk);
    return state;
  }
  // Camera 0's frame `number` as hex, `lines` of it and zeros below.
  static std::string Pattern(std::uint32_t number, std::uint32_t width, std::uint32_t height, std::uint32_t lines) {
    std::string hex;
    char two[3];
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::uint32_t x = 0; x < width; ++x) {
        std::snprintf(two, sizeof two, "%02x", y < lines ? plat::board::camera_pattern(0, 0, number, x, y) : 0);
        hex += two;
      }
    return hex;
  }
  // A client with device 0 of board 0 open and a transfer into its host
  // buffers (the given kinds, one buffer each) connected, callbacks for `events`.
  ChildProcess& Connected(const std::vector<std::uint32_t>& kinds, std::uint32_t events = kEndOfFrame | kEndOfTransfer) {
    ChildProcess& client = Client();
    EXPECT_EQ(Ask(client, "acq 0 0"), "acq 0");
    std::istringstream geometry(Ask(client, "geometry 0"));
    std::string word;
    geometry >> word >> width_ >> height_;
    for (std::uint32_t kind : kinds)
      EXPECT_EQ(Ask(client, "buffers 0 " + std::to_string(kind) + " 1 " + std::to_string(width_) + " " +
                                std::to_string(height_)),
                "buffers 0");
    EXPECT_EQ(Ask(client, "xfer 0 " + std::to_string(events)), "xfer 0") << Log();
    return client;
  }
  static std::string Log() { return plat::support::read_machine_log(); }

  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
};

TEST_F(XferGrab, ThreeFramesIntoFourBuffersWithTheirCallbacks) {
  ChildProcess& client = Connected({1, 1, 0x20, 0x20});
  const std::uint32_t first = GrabState().next_frame;
  ASSERT_EQ(Ask(client, "start 0 3"), "start 0");
  EXPECT_EQ(Ask(client, "wait 0 60000"), "wait 0");
  EXPECT_EQ(Ask(client, "calls"), "calls 3 1:800000:1 1:800000:2 1:4800000:3") << Log();
  for (std::uint32_t k = 0; k < 3; ++k)
    EXPECT_EQ(Ask(client, "image 0 " + std::to_string(k)), "image " + Pattern(first + k, width_, height_, height_)) << k;
}

}  // namespace
