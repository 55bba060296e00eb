// The driver's own reaction to a claimed channel's pixel clock: a loss stops
// the grab and holds the channel in reset, the return restarts the channel's
// transfers at their first buffer and gives the grab its command back.
#include "driver/kernel/YatTransferRecords.h"
#include "driver/kernel/tests/acq_fixture.h"
#include "driver/kernel/tests/transfer_setup.h"
#include "platform/board/dma_frames.h"

namespace {

using namespace acq_test;
using transfer_test::Frame;
using transfer_test::TransferSetup;

constexpr std::uint32_t kBhStartEntry = 0x1601C;  // BH DMA channel 0
constexpr std::uint32_t kStopped = (kContinuous << 24) | kStop;

class AcqPixelClock : public AcqHostTest {
 protected:
  // A transfer of channel 0 with two host buffers, ringing through both.
  void Build(TransferSetup& t) {
    ASSERT_EQ(t.InitOnboard(frame_.Bytes()), QELHW_OK);
    ASSERT_EQ(t.Create(0), QELHW_OK);
    t.MakeBuffers(frame_, 2);
    ASSERT_EQ(t.SetBh(frame_, 0), QELHW_OK);
    ASSERT_EQ(t.SetLb(frame_), QELHW_OK);
    ASSERT_EQ(t.SetAl(frame_), QELHW_OK);
  }
  std::uint32_t Inject(std::uint32_t number) {
    std::uint32_t filled = 0;
    const plat::board::ControlFrame record{0, frame_.width, frame_.height, YatBytesPerPixel(frame_.format), number};
    EXPECT_EQ(plat::testing::board_control_inject_frame(0, record, &filled), plat::board::kControlOk);
    return filled;
  }
  ::testing::AssertionResult Holds(TransferSetup& t, std::size_t i, std::uint32_t number) {
    const std::uint32_t lineBytes = frame_.width * YatBytesPerPixel(frame_.format);
    for (std::uint32_t at = 0; at < frame_.Bytes(); ++at) {
      if (t.Buffer(i).memory[at] != plat::board::camera_pattern(0, 0, number, at % lineBytes, at / lineBytes))
        return ::testing::AssertionFailure() << "buffer " << i << " does not hold frame " << number;
    }
    return ::testing::AssertionSuccess();
  }
  static bool Armed(const TransferSetup& t, std::size_t i) { return (t.StateWord(i) >> t.Record(i).stateBit & 1) != 0; }

  Frame frame_;
};

TEST_F(AcqPixelClock, ALossStopsTheGrabAndTheReturnRestartsItsTransferAtBufferZero) {
  TransferSetup t(device_, false);
  Build(t);
  if (HasFatalFailure()) return;
  ASSERT_EQ(t.Position(YAT_DMA_TYPE_BH, 0, 1), QELHW_OK);
  ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);
  const std::uint32_t secondBuffer = BoardWord(0, kBhStartEntry);
  ASSERT_EQ(Inject(1), 1u);
  ASSERT_TRUE(Holds(t, 1, 1));
  ASSERT_FALSE(Armed(t, 1));
  ASSERT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_START, 0, 0), QELHW_OK);
  StartGrab(0, 0);

  SetPixelClock(0, 0, false);
  ASSERT_TRUE(WaitForBoardWord(0, kChannelControl, kStopped));
  const plat::board::ControlGrabState lost = GrabState(0, 0);
  EXPECT_EQ(lost.last_command, kStop);
  EXPECT_EQ(lost.reset_held, 1u);  // held while the clock is away

  SetPixelClock(0, 0, true);
  ASSERT_TRUE(WaitForBoardWord(0, kChannelControl, kContinuous));  // given back as the last step
  const plat::board::ControlGrabState back = GrabState(0, 0);
  EXPECT_EQ(back.reset_held, 0u);
  EXPECT_EQ(back.reset_holds, lost.reset_holds);  // held from the loss through the restart, then released
  EXPECT_EQ(back.last_command, kContinuous);
  EXPECT_NE(BoardWord(0, kBhStartEntry), secondBuffer);
  EXPECT_TRUE(Armed(t, 1));
  EXPECT_EQ(Inject(2), 1u);
  EXPECT_TRUE(Holds(t, 0, 2));
  EXPECT_TRUE(Holds(t, 1, 1));
  for (const char* line : {"Stavro.SYS: >QELHW_EVENT_NO_PIXEL_CLOCK", "Stavro.SYS: >QELHW_EVENT_PIXEL_CLOCK",
                           "Stavro.SYS: >_YatAcqResetXfer", "Stavro.SYS: >YatAcqResetXferBufferList s:0 b:0 c:0 st:0"})
    EXPECT_EQ(LogCount(line), 1u) << line;
  EXPECT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_ABORT, 0, 0), QELHW_OK);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

TEST_F(AcqPixelClock, EveryTransferOfTheChannelIsRestartedHoweverMany) {
  // Twenty transfers of channel 0 (BH on host DMA channel 0) and one of channel 1.
  TransferSetup t(device_, false);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(t.Create(0), QELHW_OK);
    t.MakeBuffers(frame_, 1);
    ASSERT_EQ(t.SetBh(frame_, 0), QELHW_OK);
  }
  ASSERT_EQ(t.Create(1), QELHW_OK);
  t.MakeBuffers(frame_, 1);
  ASSERT_EQ(t.SetBh(frame_, 0, 0, 1), QELHW_OK);
  ASSERT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_START, 0, 0), QELHW_OK);
  StartGrab(0, 0);
  SetPixelClock(0, 0, false);
  ASSERT_TRUE(WaitForBoardWord(0, kChannelControl, kStopped));
  SetPixelClock(0, 0, true);
  ASSERT_TRUE(WaitForBoardWord(0, kChannelControl, kContinuous));
  EXPECT_EQ(LogCount(">YatAcqResetXferBufferList s:0 b:0 c:0 st:0"), 20u);
  EXPECT_EQ(LogCount(">YatAcqResetXferBufferList s:1"), 0u);
}

TEST_F(AcqPixelClock, AReturnWhileTheChannelStillRunsCausesNoReset) {
  // The grab starts while the clock is away, before the channel reacts to it.
  SetPixelClock(0, 0, false);
  ASSERT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_START, 0, 0), QELHW_OK);
  StartGrab(0, 0);
  SetPixelClock(0, 0, true);
  ASSERT_TRUE(WaitForLog("Board(0) event 258"));
  EXPECT_FALSE(WaitForLog(">_YatAcqResetXfer", 1, 500ms));
  EXPECT_EQ(BoardWord(0, kChannelControl), kContinuous);

  // The same return after a loss the channel saw does reset it.
  SetPixelClock(0, 0, false);
  ASSERT_TRUE(WaitForBoardWord(0, kChannelControl, kStopped));
  SetPixelClock(0, 0, true);
  EXPECT_TRUE(WaitForBoardWord(0, kChannelControl, kContinuous));
  EXPECT_EQ(LogCount(">_YatAcqResetXfer"), 1u);
}

TEST_F(AcqPixelClock, AReleasedChannelNoLongerReactsToItsClock) {
  ASSERT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_START, 0, 0), QELHW_OK);
  StartGrab(0, 0);
  ASSERT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_ABORT, 0, 0), QELHW_OK);
  EXPECT_EQ(BoardWord(0, kEventEnables) & 0x30000u, 0u);
  SetPixelClock(0, 0, false);
  EXPECT_FALSE(WaitUntil([] { return BoardWord(0, kChannelControl) != kContinuous; }, 500ms));
  EXPECT_EQ(GrabState(0, 0).reset_held, 0u);
}

}  // namespace
