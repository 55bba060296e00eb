// Yat_Transfer_Init through the library, the driver and the simulated board:
// a one-tap 8-bit camera's frames land in a client's host buffers.
#include <memory>
#include <string>
#include <vector>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/dma_frames.h"
#include "platform/testing/board_control.h"

namespace pardow_test {
namespace {

constexpr std::uint32_t kWidth = 64, kHeight = 8;

class TransferInit : public PardowMachine {
 protected:
  ChildProcess& client() {
    client_ = std::make_unique<ChildProcess>("pardow-helper-transferinit", std::vector<std::string>{});
    EXPECT_EQ(client_->read_line(60s), "ready");
    EXPECT_EQ(ask(*client_, "open"), "0");
    return *client_;
  }

  static std::uint32_t Inject(std::uint32_t number) {
    std::uint32_t filled = 0;
    const plat::board::ControlFrame frame{0, kWidth, kHeight, 1, number};
    EXPECT_EQ(plat::testing::board_control_inject_frame(0, frame, &filled), plat::board::kControlOk);
    return filled;
  }

  // The bytes of camera frame `number` as the pattern gives them, in hex;
  // a flipped buffer holds the last camera line first.
  static std::string Pattern(std::uint32_t number, bool flipped = false) {
    std::string hex;
    char two[3];
    for (std::uint32_t y = 0; y < kHeight; ++y)
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        const std::uint32_t line = flipped ? kHeight - 1 - y : y;
        std::snprintf(two, sizeof two, "%02x", plat::board::camera_pattern(0, 0, number, x, line));
        hex += two;
      }
    return hex;
  }

  std::unique_ptr<ChildProcess> client_;
};

TEST_F(TransferInit, FramesOfAOneTapCameraCycleThroughFourHostBuffers) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "init 4 1 0 1"), "0 0");
  for (int b = 0; b < 4; ++b) EXPECT_EQ(ask(c, "state " + std::to_string(b)), "1") << b;
  ASSERT_EQ(ask(c, "start"), "0");
  for (std::uint32_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Inject(10 + n), 1u);
    EXPECT_EQ(ask(c, "image " + std::to_string(n)), Pattern(10 + n));
    EXPECT_EQ(ask(c, "state " + std::to_string(n)), "0");
    EXPECT_EQ(ask(c, "message 30000"), std::to_string(n) + " 0 1");
  }
  EXPECT_EQ(ask(c, "release"), "0");
  finish(c);
}

TEST_F(TransferInit, AFlippedHostBufferHoldsTheFrameUpsideDown) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "init 2 1 2 1"), "0 0");  // buffer 1 flipped
  ASSERT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(Inject(3), 1u);
  EXPECT_EQ(Inject(4), 1u);
  EXPECT_EQ(ask(c, "image 0"), Pattern(3));
  EXPECT_EQ(ask(c, "image 1"), Pattern(4, true));
  finish(c);
}

// Two camera lines travel as one line twice as wide, so the buffer still
// holds the camera's frame byte for byte.
TEST_F(TransferInit, TwoMergedLinesLandAsTheCameraSentThem) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "init 2 1 0 2"), "0 1");
  ASSERT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(Inject(7), 1u);
  EXPECT_EQ(ask(c, "image 0"), Pattern(7));
  EXPECT_EQ(ask(c, "message 30000"), "0 0 1");
  finish(c);
}

// Window B runs from line 4 to 8 across the end of window A at line 6: two
// pieces of two lines each, both from the buffer's first line.
TEST_F(TransferInit, TheDriverTakesAWindowBThatCrossesTheEndOfWindowA) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  EXPECT_EQ(ask(c, "init 2 1 0 1 1"), "0 0");
  EXPECT_EQ(ask(c, "hostchain 4"), "64@0 64@64 64@0 64@64");
  EXPECT_EQ(ask(c, "start"), "0");
  finish(c);
}

// The driver positions only the first host channel of a transfer, so the
// extra destination's channel is set to its first buffer before the start.
TEST_F(TransferInit, AnExtraDestinationReceivesEveryFrameToo) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=2 extra=2"), "0 0");
  // The extra destination's host channel is the handle's slot 1: group 0 gives channel 4.
  EXPECT_EQ(ask(c, "register 0x500C"), "0 40");
  ASSERT_EQ(ask(c, "position 1"), "0");
  ASSERT_EQ(ask(c, "start"), "0");
  for (std::uint32_t n = 0; n < 2; ++n) {
    SCOPED_TRACE(n);
    Inject(20 + n);
    const std::string b = std::to_string(n);
    ASSERT_EQ(ask(c, "ends 2 30000"), "0:" + b + " 4:" + b);
    EXPECT_EQ(ask(c, "image " + b), Pattern(20 + n));
    EXPECT_EQ(ask(c, "extraimage " + b), Pattern(20 + n));
  }
  EXPECT_EQ(ask(c, "release"), "0");
  finish(c);
}

TEST_F(TransferInit, APlanarSplitTellsTheBoardItsThreeChannels) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=2 flags=0x40"), "0 0");
  // Planes on channels 0, 9 and 8, each buffer line of 64 pixels.
  EXPECT_EQ(ask(c, "register 0x5040"), "0 80900");
  EXPECT_EQ(ask(c, "register 0x5044"), "0 40");
  EXPECT_EQ(ask(c, "state 1"), "1");
  EXPECT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(ask(c, "release"), "0");
  finish(c);
}

// Each tap's half of the frame travels on its own acquisition channel (0 and
// 1) and host channel (0 and 8) into its half of every buffer, where the
// camera's frame stands whole again. The driver selects the first buffer of
// the first tap's channel only (an acquisition start would select it on
// every channel), so the second tap's channel is positioned here.
TEST_F(TransferInit, TwoTapsFillTheirHalvesOfEveryBufferOnTwoChannels) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "claim 1 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=1 taps=2"), "0 0");
  EXPECT_EQ(ask(c, "hostchain 8"), "64@0 64@64 64@128 64@192 64@256 64@320 64@384 64@448");
  EXPECT_EQ(ask(c, "state 0"), "1");
  ASSERT_EQ(ask(c, "hostposition 8"), "0");
  EXPECT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(Inject(5), 2u);
  EXPECT_EQ(ask(c, "image 0"), Pattern(5));
  EXPECT_EQ(ask(c, "release"), "0");
  finish(c);
}

// The insert piece goes to no host channel, so the host buffer still holds
// the camera's frame byte for byte behind it.
TEST_F(TransferInit, InsertPiecesAreAcceptedAndLeaveTheImageWhole) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=2 insert=1"), "0 0");
  ASSERT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(Inject(9), 1u);
  EXPECT_EQ(ask(c, "image 0"), Pattern(9));
  finish(c);
}

// An on-board buffer of two lines holds the eight-line frame a strip at a
// time: the host buffer still gets every line of it, in order.
TEST_F(TransferInit, AStripBufferCarriesAFrameTallerThanItself) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=2 strip=2"), "0 0");
  ASSERT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(Inject(5), 1u);
  EXPECT_EQ(Inject(6), 1u);
  EXPECT_EQ(ask(c, "image 0"), Pattern(5));
  EXPECT_EQ(ask(c, "image 1"), Pattern(6));
  finish(c);
}

// On release each entry learns whether the board still held its buffer and
// forgets the state words the transfer had bound.
TEST_F(TransferInit, ReleaseSettlesTheStateOfEveryHostBuffer) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=2"), "0 0");
  ASSERT_EQ(ask(c, "start"), "0");
  EXPECT_EQ(Inject(1), 1u);
  EXPECT_EQ(ask(c, "state 0"), "0");
  EXPECT_EQ(ask(c, "release"), "0");
  EXPECT_EQ(ask(c, "entry 0"), "0000ffff 0 0 0");
  EXPECT_EQ(ask(c, "entry 1"), "8000ffff 0 0 0");
  finish(c);
}

// Each large array the connection builds fails in turn: the export answers
// its stage's status (AL and LB -2002, BH -2001), never an exception, and
// gives the handle back, until no allocation is left to fail.
TEST_F(TransferInit, RunningOutOfMemoryAnswersTheStagesStatusAndReleasesTheHandle) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  const std::string localStage = std::to_string(QELHW_ERROR_INSUFFICIENT_MEMORY) + " 0 failed";
  const std::string hostStage = std::to_string(QELHW_ERROR_SYSTEM_RESOURCE) + " 0 failed";
  int local = 0, host = 0;
  std::string answer;
  for (int k = 0; k < 64; ++k) {
    answer = ask(c, "connect buffers=16 failat=" + std::to_string(k));
    if (answer == "0 0") break;
    ASSERT_TRUE(answer == localStage || answer == hostStage) << "allocation " << k << ": " << answer;
    (answer == localStage ? local : host) += 1;
    EXPECT_EQ(ask(c, "release"), std::to_string(QELHW_ERROR_INVALID_HANDLE)) << "allocation " << k;
  }
  EXPECT_EQ(answer, "0 0");
  EXPECT_GT(local, 0);
  EXPECT_GT(host, 0);
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Yat_Transfer_Init QELHW_ERROR_INSUFFICIENT_MEMORY"}));
  // Every failed connection gave its host DMA group back: the last one took the first.
  EXPECT_EQ(ask(c, "channel"), "0");
  EXPECT_EQ(ask(c, "release"), "0");
  finish(c);
}

// A caller's list that claims more buffers than any transfer holds is not
// walked on release.
TEST_F(TransferInit, ReleaseWalksNoMoreBuffersThanATransferHolds) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  ASSERT_EQ(ask(c, "connect buffers=2"), "0 0");
  ASSERT_EQ(ask(c, "listcount 0x7FFFFFFF"), "0");
  EXPECT_EQ(ask(c, "release"), "0");
  EXPECT_EQ(ask(c, "release"), std::to_string(QELHW_ERROR_INVALID_HANDLE));
  finish(c);
}

TEST_F(TransferInit, WithoutAnAcquisitionChannelNothingIsConnectedAndTheHandleIsReleased) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  EXPECT_EQ(ask(c, "init 2 1 0 1"), std::to_string(QELHW_ERROR_RESOURCE_IN_USE) + " 0");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Yat_GetAcqDmaNumber FFFFF82B"}));
  EXPECT_EQ(ask(c, "release"), std::to_string(QELHW_ERROR_INVALID_HANDLE));
  finish(c);
}

TEST_F(TransferInit, TwoTapsWithAnExtraDestinationAreRefusedAndTheHandleReleased) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  ASSERT_EQ(ask(c, "claim 0 0"), "0");
  EXPECT_EQ(ask(c, "dualextra"), "-3 0");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Do not support dual channel and dual destination at the same time."}));
  EXPECT_EQ(ask(c, "entry 0"), "0000ffff 1234 0 0");  // its state descriptor no longer names a transfer
  EXPECT_EQ(ask(c, "release"), std::to_string(QELHW_ERROR_INVALID_HANDLE));
  finish(c);
}

}  // namespace
}  // namespace pardow_test
