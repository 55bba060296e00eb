// Who owns an acquisition channel: the answers of the claim and its release,
// refused claims between processes, and the stop command a channel gets when
// its owner goes, killed or not.
#include <memory>
#include <vector>

#include "driver/kernel/tests/acq_fixture.h"

namespace {

using namespace acq_test;

using AcqOwnership = AcqHostTest;

struct AnswerCase {
  const char* what;
  std::uint32_t code;
  std::uint32_t inputSize;
  YatIocHeader header;
  std::uint32_t channel;
  std::int32_t status;
};

TEST_F(AcqOwnership, ClaimAndReleaseAnswerEveryRequest) {
  constexpr std::uint32_t kStart = YAT_IOCTRL_KERNEL_ACQ_START;
  constexpr std::uint32_t kAbort = YAT_IOCTRL_KERNEL_ACQ_ABORT;
  const AnswerCase cases[] = {
      {"short input", kStart, 8, Board(0), 0, QELHW_ERROR_IOC_BUFFER},
      {"short input (release)", kAbort, 11, Board(0), 0, QELHW_ERROR_IOC_BUFFER},
      {"board not present", kStart, 12, Board(5), 0, QELHW_ERROR_NO_BOARD_FOUND},
      {"no board named", kAbort, 12, {0, 0}, 0, QELHW_ERROR_NO_BOARD_FOUND},
      {"channel 8", kStart, 12, Board(0), 8, QELHW_ERROR_ARG_INVALID},
      {"channel far out", kAbort, 12, Board(1), 0xFFFFFFFF, QELHW_ERROR_ARG_INVALID},
      {"code past the section", 0x222E08, 12, Board(0), 0, QELHW_ERROR_IOC_FUNCTION},
      {"release of a channel never claimed", kAbort, 12, Board(0), 3, QELHW_OK},
      {"claim of the Dual board's second camera", kStart, 12, Board(1), 1, QELHW_OK},
      {"claimed again by its owner", kStart, 12, Board(1), 1, QELHW_OK},
      {"its release", kAbort, 12, Board(1), 1, QELHW_OK},
  };
  for (const AnswerCase& c : cases) {
    YatIocValueIn in{c.header, c.channel};
    EXPECT_EQ(AskBytes(c.code, &in, c.inputSize, 4).status, c.status) << c.what;
  }
  // Each claim pulsed the channel's reset; the release took its pixel-clock events back.
  const plat::board::ControlGrabState camera = GrabState(1, 1);
  EXPECT_EQ(camera.reset_holds, 2u);
  EXPECT_EQ(camera.reset_held, 0u);
  EXPECT_EQ(BoardWord(1, kEventEnables) & 0xC0000u, 0u);
}

TEST_F(AcqOwnership, ARefusedClaimLeavesTheOwnerAndItsExitStopsNothing) {
  AcqClient owner, refused;
  ASSERT_TRUE(owner.ready() && refused.ready());
  ASSERT_EQ(owner.Say("open"), "opened");
  ASSERT_EQ(refused.Say("open"), "opened");
  ASSERT_EQ(owner.Say("start 0 0"), Status(QELHW_OK));
  EXPECT_EQ(BoardWord(0, kEventEnables) & 0x30000u, 0x30000u);
  EXPECT_EQ(refused.Say("start 0 0"), Status(QELHW_ERROR_RESOURCE_IN_USE));
  EXPECT_EQ(refused.Say("abort 0 0"), Status(QELHW_ERROR_RESOURCE_IN_USE));
  EXPECT_EQ(refused.Say("route 0 0 6"), Status(QELHW_ERROR_PROCESS_CONNECT));
  StartGrab(0, 0);
  ASSERT_EQ(refused.Say("close"), "closed");
  EXPECT_EQ(refused.Exit(), 0);
  EXPECT_EQ(BoardWord(0, kChannelControl), kContinuous);
  EXPECT_EQ(GrabState(0, 0).last_command, kContinuous);

  // Still the owner's channel: a lost pixel clock stops it on the owner's behalf.
  SetPixelClock(0, 0, false);
  EXPECT_TRUE(WaitForBoardWord(0, kChannelControl, (kContinuous << 24) | kStop));
  EXPECT_EQ(owner.Say("abort 0 0"), Status(QELHW_OK));
  EXPECT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_START, 0, 0), QELHW_OK);
  EXPECT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_ABORT, 0, 0), QELHW_OK);
  EXPECT_EQ(owner.Exit(), 0);
}

TEST_F(AcqOwnership, AKilledOwnersChannelGetsTheStopCommand) {
  AcqClient owner;
  ASSERT_TRUE(owner.ready());
  ASSERT_EQ(owner.Say("open"), "opened");
  ASSERT_EQ(owner.Say("start 1 1"), Status(QELHW_OK));
  StartGrab(1, 1);
  StartGrab(1, 0);  // not the owner's
  owner.Kill();
  EXPECT_TRUE(WaitForBoardWord(1, kChannelControl + kChannelStride, kStop));
  EXPECT_EQ(BoardWord(1, kChannelControl), kContinuous);
  // The stop is written before the dead owner's claim is forgotten: the
  // channel becomes free a moment after the stop command shows.
  EXPECT_TRUE(WaitUntil([&] { return Claim(YAT_IOCTRL_KERNEL_ACQ_START, 1, 1) == QELHW_OK; }));
  EXPECT_EQ(Claim(YAT_IOCTRL_KERNEL_ACQ_ABORT, 1, 1), QELHW_OK);
}

TEST_F(AcqOwnership, AProcessWithoutASlotIsToldSo) {
  // The test process holds one of the 16 slots; fifteen clients take the rest.
  std::vector<std::unique_ptr<AcqClient>> holders;
  for (int i = 0; i < 15; ++i) {
    holders.push_back(std::make_unique<AcqClient>());
    ASSERT_TRUE(holders.back()->ready());
    ASSERT_EQ(holders.back()->Say("open"), "opened");
  }
  AcqClient stranger;
  ASSERT_TRUE(stranger.ready());
  ASSERT_EQ(stranger.Say("open"), "opened");
  EXPECT_EQ(stranger.Say("start 0 0"), Status(QELHW_ERROR_PROCESS_NOT_REGISTERED));
  EXPECT_EQ(stranger.Say("abort 0 0"), Status(QELHW_ERROR_PROCESS_NOT_REGISTERED));
}

}  // namespace
