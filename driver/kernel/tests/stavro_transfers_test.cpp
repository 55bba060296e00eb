// Transfers through the real path: the test process is the client, its own
// memory holds the host buffers, and frames injected at the board's input
// travel AL -> on-board memory -> LB -> BH into them.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "driver/kernel/YatMessages.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/kernel/tests/transfer_setup.h"
#include "driver/user/QelHwStatus.h"
#include "platform/board/dma_frames.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/win/objects.h"

namespace {

using namespace std::chrono_literals;
using transfer_test::Frame;
using transfer_test::TransferSetup;

constexpr std::uint32_t kRouteHostDma = 7;
constexpr std::uint32_t kRouteAllBit = 0x80000000;
constexpr std::uint32_t kFlagEnd = 1u << 23;

class StavroTransfers : public StavroBoardTest {
 protected:

  // The whole set-up of one transfer with two host buffers.
  void Build(TransferSetup& t, std::uint32_t mode, bool narrow = false) {
    if (narrow) plat::set_device_caller_width(true);
    ASSERT_EQ(t.InitOnboard(frame_.Bytes()), QELHW_OK);
    ASSERT_EQ(t.Create(), QELHW_OK);
    ASSERT_NE(t.Handle(), 0u);
    t.MakeBuffers(frame_, 2);
    ASSERT_EQ(t.SetBh(frame_, mode), QELHW_OK);
    ASSERT_EQ(t.SetLb(frame_), QELHW_OK);
    ASSERT_EQ(t.SetAl(frame_), QELHW_OK);
  }

  std::uint32_t Inject(std::uint32_t number) {
    std::uint32_t filled = 0;
    const plat::board::ControlFrame record{0, frame_.width, frame_.height, YatBytesPerPixel(frame_.format), number};
    EXPECT_EQ(plat::testing::board_control_inject_frame(0, record, &filled), plat::board::kControlOk);
    return filled;
  }

  // Whether host buffer i holds frame `number` of the pattern.
  ::testing::AssertionResult Holds(TransferSetup& t, std::size_t i, std::uint32_t number) {
    const std::uint32_t lineBytes = frame_.width * YatBytesPerPixel(frame_.format);
    for (std::uint32_t at = 0; at < frame_.Bytes(); ++at) {
      const std::uint8_t want = plat::board::camera_pattern(0, 0, number, at % lineBytes, at / lineBytes);
      if (t.Buffer(i).memory[at] != want)
        return ::testing::AssertionFailure() << "buffer " << i << " byte " << at << " is " << int(t.Buffer(i).memory[at])
                                             << ", frame " << number << " has " << int(want);
    }
    return ::testing::AssertionSuccess();
  }
  static bool Untouched(TransferSetup& t, std::size_t i, std::uint32_t bytes) {
    for (std::uint32_t at = 0; at < bytes; ++at)
      if (t.Buffer(i).memory[at] != 0) return false;
    return true;
  }
  static bool Armed(const TransferSetup& t, std::size_t i) {
    return (t.StateWord(i) >> t.Record(i).stateBit & 1) != 0;
  }

  Frame frame_;
};

TEST_F(StavroTransfers, AFrameTravelsIntoTheClientsBufferAndEndsWithAMessage) {
  TransferSetup t(device_, false);
  Build(t, 0);
  if (HasFatalFailure()) return;
  plat::Handle event = plat::create_event(nullptr, false, false, nullptr);
  YatEventRegistration registration{{0, 0}, YAT_MSG_TYPE_TRANSFER, event};
  ASSERT_EQ(Ask(YAT_IOCTRL_REGISTER_EVENT, registration, 4).status, QELHW_OK);
  ASSERT_EQ(Ask(YAT_IOCTRL_ROUTE_EVENT, YatEventRoute{Board(0), 0, kRouteHostDma, kRouteAllBit}, 4).status, QELHW_OK);
  ASSERT_EQ(t.Record(0).mapFailed, 0);
  EXPECT_TRUE(Armed(t, 0));
  ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);

  EXPECT_EQ(Inject(5), 1u);
  EXPECT_TRUE(Holds(t, 0, 5));
  EXPECT_TRUE(Untouched(t, 1, frame_.Bytes()));
  EXPECT_FALSE(Armed(t, 0));
  EXPECT_TRUE(Armed(t, 1));

  ASSERT_EQ(plat::wait_for_object(event, 30000), plat::kWaitObject0);
  YatTransferMessage message{};
  YatMsgRequest fetch{Board(0), YAT_MSG_TYPE_TRANSFER, sizeof message, reinterpret_cast<std::uintptr_t>(&message)};
  ASSERT_EQ(Ask(YAT_IOCTRL_GET_MESSAGE, fetch, 4).status, QELHW_OK);
  EXPECT_NE(message.flags & kFlagEnd, 0u);
  EXPECT_EQ(message.word2, frame_.width * YatBytesPerPixel(frame_.format));  // bytes of a line
  EXPECT_EQ(message.word3, frame_.height);                                     // lines written
  EXPECT_EQ(message.word0 & 0x1FFFF, 0u);  // buffer 0
  EXPECT_NE(message.tag & YAT_MSG_PRESENT, 0u);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
  plat::close_handle(event);
}

TEST_F(StavroTransfers, PositionAndCycleModeChooseTheNextBufferAndAbortStops) {
  TransferSetup t(device_, false);
  Build(t, 0);
  if (HasFatalFailure()) return;
  // Mode 4 loops on the selected buffer, which must be armed again to refill.
  ASSERT_EQ(t.CycleMode(4), QELHW_OK);
  ASSERT_EQ(t.Position(YAT_DMA_TYPE_BH, 0, 1), QELHW_OK);
  ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);
  EXPECT_EQ(Inject(1), 1u);
  EXPECT_TRUE(Holds(t, 1, 1));
  EXPECT_EQ(Inject(2), 0u);  // not armed: dropped
  t.Rearm(1);
  EXPECT_EQ(Inject(3), 1u);
  EXPECT_TRUE(Holds(t, 1, 3));
  EXPECT_TRUE(Untouched(t, 0, frame_.Bytes()));

  // Mode 0 rings through both buffers, armed or not.
  ASSERT_EQ(t.CycleMode(0), QELHW_OK);
  ASSERT_EQ(t.Position(YAT_DMA_TYPE_BH, 0, 0), QELHW_OK);
  ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);
  EXPECT_EQ(Inject(4), 1u);
  EXPECT_EQ(Inject(5), 1u);
  EXPECT_EQ(Inject(6), 1u);
  EXPECT_TRUE(Holds(t, 0, 6));
  EXPECT_TRUE(Holds(t, 1, 5));

  ASSERT_EQ(t.Command(YAT_IOCTRL_ABORT_XFER), QELHW_OK);
  EXPECT_EQ(Inject(7), 0u);
  EXPECT_TRUE(Holds(t, 1, 5));
  EXPECT_EQ(t.Position(3, 0, 0), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(t.Command(YAT_IOCTRL_START_XFER), QELHW_ERROR_IOC_FUNCTION);
  EXPECT_EQ(t.Command(YAT_IOCTRL_STOP_XFER), QELHW_ERROR_IOC_FUNCTION);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
  EXPECT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_ERROR_PARAMETER_INVALID);  // gone
}

// The descriptors of the BH chain, read through the diagnostic mapping.
struct Descriptors {
  std::vector<YatHostDescriptor> list;
};

class StavroDescriptors : public StavroTransfers {
 protected:
  Descriptors HostChain(TransferSetup& t, std::uint32_t count) {
    YatDbgMapDescRecord in{Board(0), t.Handle(), YAT_DMA_TYPE_BH, 0, 0, 0};
    StavroReply reply = Ask(YAT_IOCTRL_DBG_MAP_DESC, in, 12);
    std::uint64_t user = 0;
    std::memcpy(&user, reply.bytes.data() + 4, 8);
    Descriptors d;
    if (user == 0) return d;
    d.list.resize(count);
    std::memcpy(d.list.data(), reinterpret_cast<const std::uint8_t*>(user) + 32, count * sizeof(YatHostDescriptor));
    return d;
  }
};

TEST_F(StavroDescriptors, TwoLinesInOnePageGiveTwoMarkedDescriptorsInARing) {
  frame_ = Frame{100, 2, 1};
  TransferSetup t(device_, false);
  ASSERT_EQ(t.Create(), QELHW_OK);
  t.MakeBuffers(frame_, 1);
  ASSERT_EQ(t.SetBh(frame_, 0), QELHW_OK);
  const Descriptors d = HostChain(t, 2);
  ASSERT_EQ(d.list.size(), 2u);
  EXPECT_EQ(d.list[0].control, (1u << 24 | 1u << 26 | 1u << 27 | 100));
  EXPECT_EQ(d.list[1].control, (1u << 25 | 1u << 26 | 1u << 27 | 100));
  EXPECT_EQ(d.list[1].next + 16, d.list[0].next);  // the last closes on the head
  EXPECT_EQ(d.list[1].addressLow - d.list[0].addressLow, 100u);
}

TEST_F(StavroDescriptors, ALineCrossingAPageIsCutAtTheBoundary) {
  frame_ = Frame{3000, 1, 1};
  TransferSetup t(device_, false);
  ASSERT_EQ(t.Create(), QELHW_OK);
  t.MakeBuffers(frame_, 1, 4096 - 1000);
  ASSERT_EQ(t.SetBh(frame_, 0), QELHW_OK);
  const Descriptors d = HostChain(t, 2);
  ASSERT_EQ(d.list.size(), 2u);
  EXPECT_EQ(d.list[0].control & YAT_HOST_COUNT_MASK, 1000u);
  EXPECT_EQ(d.list[1].control & YAT_HOST_COUNT_MASK, 2000u);
  EXPECT_EQ((d.list[1].addressLow) % 4096, 0u);
}

TEST_F(StavroDescriptors, AnAlLineIsCutAtA2048ByteBoundaryOfOnboardMemory) {
  TransferSetup t(device_, false);
  Build(t, 0);  // lines of 1280 bytes: line 1 crosses 2048
  if (HasFatalFailure()) return;
  ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);
  std::uint32_t entryAddress = 0;
  ASSERT_EQ(plat::testing::board_control_register_read(0, 0x701C, &entryAddress), plat::board::kControlOk);
  std::uint32_t entry[8] = {};
  YatIocMemoryIn read{Board(0), entryAddress, reinterpret_cast<std::uintptr_t>(entry), sizeof entry, 0};
  ASSERT_EQ(Ask(YAT_IOCTRL_READ_MEMORY, read, 4).status, QELHW_OK);
  YatLocalDescriptor chain[4] = {};
  read = YatIocMemoryIn{Board(0), entry[1], reinterpret_cast<std::uintptr_t>(chain), sizeof chain, 0};
  ASSERT_EQ(Ask(YAT_IOCTRL_READ_MEMORY, read, 4).status, QELHW_OK);
  EXPECT_EQ(chain[0].control & 0xFFF, 1280u);
  EXPECT_EQ(chain[1].control & 0xFFF, 768u);
  EXPECT_EQ(chain[2].control & 0xFFF, 512u);
  EXPECT_EQ(chain[2].address, 2048u);
  EXPECT_NE(chain[1].control & YAT_AL_LINE_START, 0u);
  EXPECT_NE(chain[2].control & YAT_AL_LINE_END, 0u);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

TEST_F(StavroTransfers, AThirtyTwoBitClientUsesItsOwnRecordsAndHandleIndices) {
  TransferSetup t(device_, true);
  Build(t, 0, true);
  if (HasFatalFailure()) return;
  EXPECT_EQ(t.Handle() & 0x80000000u, 0x80000000u);
  ASSERT_EQ(t.Record(0).mapFailed, 0);
  ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);
  EXPECT_EQ(Inject(9), 1u);
  EXPECT_TRUE(Holds(t, 0, 9));
  EXPECT_FALSE(Armed(t, 0));
  std::uint8_t list[12] = {};
  EXPECT_EQ(AskBytes(YAT_IOCTRL_DBG_GET_XFER_HANDLES, nullptr, 0, sizeof list).Word(4), t.Handle());
  EXPECT_EQ(t.Destroy(), QELHW_OK);
  EXPECT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_ERROR_PARAMETER_INVALID);
}

TEST_F(StavroTransfers, RecordsAreCheckedBeforeAnythingIsBuilt) {
  std::uint8_t short27[27] = {};
  std::memcpy(short27, &YAT_IOC_TARGET_BOARD, 4);
  EXPECT_EQ(AskBytes(YAT_IOCTRL_SET_AL_XFERS, short27, sizeof short27, 4).status, QELHW_ERROR_IOC_BUFFER);
  // Another process's handle, or none, names no transfer of the caller.
  YatXferCommandRecord start{Board(0), 0x1234};
  EXPECT_EQ(Ask(YAT_IOCTRL_START_AUTO_XFER, start, 4).status, QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(AskBytes(YAT_IOCTRL_DBG_GET_XFER_HANDLES, nullptr, 0, 11).status, QELHW_ERROR_IOC_BUFFER);
  TransferSetup t(device_, false);
  ASSERT_EQ(t.Create(), QELHW_OK);
  t.MakeBuffers(frame_, 1);
  YatBhBufferRecord record{};
  record.geometry = {frame_.width, frame_.height, frame_.format, 0, 0, frame_.width, frame_.height};
  YatBhElement element{16, 0, 1, reinterpret_cast<std::uintptr_t>(&record)};
  YatBhHeader header{0, 0, 1, 0, 0, 0, 0};
  YatBhXferRecord bh{Board(0), t.Handle(), reinterpret_cast<std::uintptr_t>(&header), 1,
                     reinterpret_cast<std::uintptr_t>(&element)};
  EXPECT_EQ(Ask(YAT_IOCTRL_SET_BH_XFERS, bh, 4).status, QELHW_ERROR_PARAMETER_INVALID);
  header.acqChannel = 8;
  EXPECT_EQ(Ask(YAT_IOCTRL_SET_BH_XFERS, bh, 4).status, QELHW_ERROR_NO_BOARD_FOUND);
  bh.elements = 16;  // not the caller's memory
  header.acqChannel = 0;
  EXPECT_EQ(Ask(YAT_IOCTRL_SET_BH_XFERS, bh, 4).status, QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

// The memory driver's count of locked buffers.
std::uint32_t LockedBuffers() {
  std::uint32_t count = 0xFFFFFFFF;
  EXPECT_EQ(plat::testing::board_control_locked_buffers(&count), plat::board::kControlOk);
  return count;
}

bool LocksBackTo(std::uint32_t count) {
  for (auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(20ms))
    if (LockedBuffers() == count) return true;
  return false;
}

std::unique_ptr<plat::testing::ChildProcess> TransferClient() {
  auto client = std::make_unique<plat::testing::ChildProcess>("stavro-helper-transfers", std::vector<std::string>{});
  EXPECT_EQ(client->read_line(60s), "ready");
  return client;
}

TEST_F(StavroTransfers, AKilledClientsTransfersAreDestroyedAndItsLocksReleased) {
  const std::uint32_t before = LockedBuffers();
  auto client = TransferClient();
  client->write_line("build");
  ASSERT_EQ(client->read_line(60s), "built 0");
  EXPECT_EQ(LockedBuffers(), before + 2);
  std::uint8_t list[20] = {};
  StavroReply built = AskBytes(YAT_IOCTRL_DBG_GET_XFER_HANDLES, nullptr, 0, sizeof list);
  EXPECT_NE(built.Word(4) | built.Word(8), 0u);
  client->kill_hard();
  client.reset();
  EXPECT_TRUE(LocksBackTo(before)) << LockedBuffers() << " buffers still locked";
  StavroReply after = AskBytes(YAT_IOCTRL_DBG_GET_XFER_HANDLES, nullptr, 0, sizeof list);
  EXPECT_EQ(after.Word(4) | after.Word(8), 0u);
}

// A transfer belongs to the board it was created on: a request that names it
// with the other board's header is refused and changes nothing.
TEST_F(StavroTransfers, ARequestNamingATransferOfTheOtherBoardIsRefused) {
  const std::uint32_t before = LockedBuffers();
  TransferSetup own(device_, false, 0);
  ASSERT_EQ(own.Create(), QELHW_OK);
  own.MakeBuffers(frame_, 2);
  TransferSetup other(device_, false, 1);  // the same handle, sent with board 1's header
  other.MakeBuffers(frame_, 2);
  YatBhHeader header{0, 0, 1, 0, 0, 0, 0};
  YatBhBufferRecord records[2] = {};
  for (std::uint32_t i = 0; i < 2; ++i) {
    records[i].geometry = {frame_.width, frame_.height, frame_.format, 0, 0, frame_.width, frame_.height};
    records[i].lockRecord = reinterpret_cast<std::uintptr_t>(other.Buffer(i).entry + YAT_HOST_BUFFER_LOCK_OFFSET);
  }
  YatBhPiece region{1, {0, 0}, 0, 0, 0, 0, frame_.width, frame_.height};
  for (YatBhBufferRecord& record : records) {
    record.regionCount = 1;
    record.regions = reinterpret_cast<std::uintptr_t>(&region);
  }
  YatBhElement element{0, 0, 2, reinterpret_cast<std::uintptr_t>(records)};
  YatBhXferRecord bh{Board(1), own.Handle(), reinterpret_cast<std::uintptr_t>(&header), 1,
                     reinterpret_cast<std::uintptr_t>(&element)};
  EXPECT_EQ(Ask(YAT_IOCTRL_SET_BH_XFERS, bh, 4).status, QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(LockedBuffers(), before);
  const std::uint64_t mapped = records[0].stateWordAddress;  // a copy: the record is packed
  EXPECT_EQ(mapped, 0u);
  for (std::uint32_t code : {YAT_IOCTRL_START_AUTO_XFER, YAT_IOCTRL_ABORT_XFER})
    EXPECT_EQ(Ask(code, YatXferCommandRecord{Board(1), own.Handle()}, 4).status, QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_XFER_POSITION_XFER, YatXferPositionRecord{Board(1), own.Handle(), YAT_DMA_TYPE_BH, 0, 0}, 4)
                .status,
            QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Ask(YAT_IOCTRL_DESTROY_XFER, YatDestroyXferRecord{Board(1), own.Handle(), {}, 0}, 4).status,
            QELHW_ERROR_PARAMETER_INVALID);
  // Still whole on its own board.
  ASSERT_EQ(own.SetBh(frame_, 0), QELHW_OK);
  EXPECT_EQ(LockedBuffers(), before + 2);
  EXPECT_EQ(own.Destroy(), QELHW_OK);
  EXPECT_EQ(LockedBuffers(), before);
}

// A board that goes while a process holds transfers on it takes them along:
// their pages are unlocked before the board's extension goes.
TEST_F(StavroTransfers, ABoardRemovedUnderAProcessLeavesNoLockedPage) {
  const std::uint32_t before = LockedBuffers();
  auto client = TransferClient();
  client->write_line("build 1");
  ASSERT_EQ(client->read_line(60s), "built 0");
  EXPECT_EQ(LockedBuffers(), before + 2);
  ASSERT_EQ(plat::testing::board_control_remove(1), plat::board::kControlOk);
  EXPECT_EQ(LockedBuffers(), before);
  client->write_line("start");
  EXPECT_EQ(client->read_line(60s), "started " + std::to_string(QELHW_ERROR_NO_BOARD_FOUND));
  client->write_line("destroy");
  EXPECT_EQ(client->read_line(60s), "destroyed " + std::to_string(QELHW_ERROR_NO_BOARD_FOUND));
  client.reset();
  // The other board serves on.
  TransferSetup t(device_, false);
  Build(t, 0);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
  EXPECT_TRUE(LocksBackTo(before));
}

}  // namespace
