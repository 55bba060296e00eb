// Messages and events through the real path: client processes, the kernel
// host with Stavro, and the simulated board raising statuses and posting
// host messages.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/win/device.h"
#include "platform/win/objects.h"

namespace {

using plat::testing::ChildProcess;
using namespace std::chrono_literals;

constexpr std::uint32_t kFrameEvent = 0x4000000;       // channel 0: main status bit 15
constexpr std::uint32_t kFrameStatus = 0x8000;
constexpr std::uint32_t kChannel0Enable = 0x116C;

class StavroMessages : public StavroBoardTest {
 protected:
  void TearDown() override {
    clients_.clear();
    StavroBoardTest::TearDown();
  }

  std::int32_t Send(std::uint32_t code, const void* input, std::uint32_t size) {
    return AskBytes(code, input, size, sizeof(YatIocStatus)).status;
  }
  std::int32_t Route(std::uint32_t index, std::uint32_t type, std::uint32_t bits, bool on = true) {
    YatEventRoute record{{YAT_IOC_TARGET_BOARD, 0}, index, type, bits};
    return Send(on ? YAT_IOCTRL_ROUTE_EVENT : YAT_IOCTRL_UNROUTE_EVENT, &record, sizeof record);
  }
  plat::Handle Register(std::uint32_t type) {
    plat::Handle event = plat::create_event(nullptr, false, false, nullptr);
    YatEventRegistration record{{0, 0}, type, event};
    EXPECT_EQ(Send(YAT_IOCTRL_REGISTER_EVENT, &record, sizeof record), QELHW_OK);
    return event;
  }
  template <typename Record>
  std::int32_t Fetch(std::uint32_t type, Record* out) {
    YatMsgRequest record{{YAT_IOC_TARGET_BOARD, 0}, type, sizeof(Record), reinterpret_cast<std::uintptr_t>(out)};
    return Send(YAT_IOCTRL_GET_MESSAGE, &record, sizeof record);
  }
  static std::uint32_t ReadRegister(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(0, offset, &value), plat::board::kControlOk);
    return value;
  }
  static std::uint32_t Peek(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_peek_register(0, offset, &value), plat::board::kControlOk);
    return value;
  }
  static void PostHostMessage(std::uint32_t position, std::uint32_t slot, std::uint32_t word1) {
    const std::uint32_t words[8] = {position | slot << 17, word1, 0, 16, 0, 0, 0, 0};
    ASSERT_EQ(plat::testing::board_control_post_host_message(0, words), plat::board::kControlOk);
  }
  // Waits until the board's message FIFO is drained by the driver.
  static void WaitDrained() {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while ((ReadRegister(0x10014) & 0x4) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
  }
  ChildProcess& Client() {
    clients_.push_back(std::make_unique<ChildProcess>("stavro-helper-messages", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    EXPECT_EQ(Tell(*clients_.back(), "open"), "opened");
    return *clients_.back();
  }
  static std::string Tell(ChildProcess& client, const std::string& command) {
    client.write_line(command);
    return client.read_line(60s);
  }

  std::vector<std::unique_ptr<ChildProcess>> clients_;
};

TEST_F(StavroMessages, ARoutedFrameEventFiresTheEventAndFetchesItsRecord) {
  plat::Handle event = Register(YAT_MSG_TYPE_CHANNEL);
  ASSERT_EQ(Route(0, YAT_ROUTE_CHANNEL, kFrameEvent), QELHW_OK);
  ASSERT_EQ(plat::testing::board_control_set_inputs(0, 0x106C, 0x1234), plat::board::kControlOk);
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  ASSERT_EQ(plat::wait_for_object(event, 30000), plat::kWaitObject0);
  YatChannelMessage message{};
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_CHANNEL, &message), QELHW_OK);
  EXPECT_EQ(message.eventBit, kFrameEvent);
  EXPECT_EQ(message.channelStatus, 0x1234u);
  EXPECT_NE(std::uint64_t{message.timeStamp}, 0u);
  EXPECT_EQ(message.tag, YAT_MSG_PRESENT);  // board 0, channel 0
  plat::close_handle(event);
}

TEST_F(StavroMessages, RequestsAreCheckedBeforeTheyAct) {
  const YatIocHeader header{YAT_IOC_TARGET_BOARD, 0};
  EXPECT_EQ(Send(YAT_IOCTRL_ROUTE_EVENT, &header, sizeof header), QELHW_ERROR_IOC_BUFFER);
  std::uint8_t zeros[24] = {};
  EXPECT_EQ(Send(YAT_IOCTRL_DISPATCH_MESSAGE, zeros, sizeof zeros), QELHW_ERROR_IOC_FUNCTION);
  // The driver's own time-stamp queues, and a buffer the caller does not have.
  YatChannelMessage message{};
  EXPECT_EQ(Fetch(5, &message), QELHW_ERROR_PARAMETER_INVALID);
  YatMsgRequest unmapped{header, YAT_MSG_TYPE_CHANNEL, 20, 8};
  EXPECT_EQ(Send(YAT_IOCTRL_GET_MESSAGE, &unmapped, sizeof unmapped), QELHW_ERROR_PARAMETER_INVALID);
  YatEventRegistration noEvent{{0, 0}, YAT_MSG_TYPE_CHANNEL, 0xFFFFFF};
  EXPECT_EQ(Send(YAT_IOCTRL_REGISTER_EVENT, &noEvent, sizeof noEvent), QELHW_ERROR_SYSTEM_RESOURCE);
  EXPECT_EQ(Route(1, YAT_ROUTE_CHANNEL, 0x8000000), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Route(2, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT, false), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Route(16, YAT_ROUTE_IO_LINE_820, 0), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Route(0, 2, 0), QELHW_ERROR_PARAMETER_INVALID);
  EXPECT_EQ(Route(0, YAT_ROUTE_NONE, 0), QELHW_OK);
}

TEST_F(StavroMessages, HostMessagesReachTheOwnerAndMergeOnlyWhileUnread) {
  ASSERT_EQ(Route(2, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT), QELHW_OK);
  PostHostMessage(10, 2, 1u << 12);  // a start
  PostHostMessage(20, 2, 3);         // progress
  PostHostMessage(30, 2, 3);         // progress: replaces the unread one
  WaitDrained();
  YatTransferMessage message{};
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.word0 & 0x1FFFF, 10u);
  EXPECT_EQ(message.flags, 1u << 19);
  EXPECT_EQ(message.tag, 2u | YAT_MSG_PRESENT);
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.word0 & 0x1FFFF, 30u);
  PostHostMessage(40, 2, 3);  // the progress before it was read: appended
  WaitDrained();
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.word0 & 0x1FFFF, 40u);
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.tag, 0u);
}

// The record leaves the queue only once it reached the caller's buffer.
TEST_F(StavroMessages, AFetchIntoABadAddressLeavesTheMessageForTheNextFetch) {
  ASSERT_EQ(Route(2, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT), QELHW_OK);
  PostHostMessage(10, 2, 1u << 13);
  PostHostMessage(20, 2, 1u << 13);
  WaitDrained();
  for (std::uint64_t bad : {std::uint64_t{8}, std::uint64_t{0}, ~std::uint64_t{0} - 16}) {
    YatMsgRequest unmapped{{YAT_IOC_TARGET_BOARD, 0}, YAT_MSG_TYPE_TRANSFER, 40, bad};
    EXPECT_EQ(Send(YAT_IOCTRL_GET_MESSAGE, &unmapped, sizeof unmapped), QELHW_ERROR_PARAMETER_INVALID);
  }
  YatTransferMessage message{};
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.word0 & 0x1FFFF, 10u);
  EXPECT_EQ(message.tag, 2u | YAT_MSG_PRESENT);
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.word0 & 0x1FFFF, 20u);
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.tag, 0u);
}

TEST_F(StavroMessages, LostCountEmptyFetchAndAForeignRoute) {
  ASSERT_EQ(Route(0, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT), QELHW_OK);
  for (std::uint32_t n = 0; n < 1024; ++n) {
    PostHostMessage(n, 0, 1u << 13);
    if (n % 100 == 99) WaitDrained();
  }
  WaitDrained();
  YatTransferMessage message{};
  ASSERT_EQ(Fetch(YAT_MSG_TYPE_TRANSFER, &message), QELHW_OK);
  EXPECT_EQ(message.word0 & 0x1FFFF, 0u);
  EXPECT_EQ(message.tag >> 24, 1u);
  YatChannelMessage empty{1, 1, 1, 1};
  EXPECT_EQ(Fetch(YAT_MSG_TYPE_CHANNEL, &empty), QELHW_OK);
  EXPECT_EQ(empty.eventBit | empty.channelStatus | empty.tag, 0u);

  ASSERT_EQ(Route(0, YAT_ROUTE_CHANNEL, kFrameEvent), QELHW_OK);
  ChildProcess& other = Client();
  EXPECT_EQ(Tell(other, "route 0 0 1 20"), "status " + std::to_string(QELHW_ERROR_PROCESS_CONNECT));
  EXPECT_EQ(Peek(kChannel0Enable) & (1u << 2), 0u);
  EXPECT_EQ(Peek(kChannel0Enable) & 1u, 1u);
}

TEST_F(StavroMessages, RoutesSwitchTheBoardsEnables) {
  // With the board's own mask off nobody claims the status: the route clears it.
  const std::uint32_t mask = ReadRegister(0x42C);
  ASSERT_EQ(plat::testing::board_control_register_write(0, 0x42C, 0), plat::board::kControlOk);
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  ASSERT_EQ(ReadRegister(0x404) & kFrameStatus, kFrameStatus);
  ASSERT_EQ(Route(0, YAT_ROUTE_CHANNEL, kFrameEvent | 0x2), QELHW_OK);
  EXPECT_EQ(ReadRegister(0x404) & kFrameStatus, 0u);
  ASSERT_EQ(plat::testing::board_control_register_write(0, 0x42C, mask), plat::board::kControlOk);
  EXPECT_EQ(Peek(kChannel0Enable) & 1u, 1u);
  EXPECT_EQ(ReadRegister(0x418) & 0x30000, 0x30000u);
  ASSERT_EQ(Route(1, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT), QELHW_OK);
  ASSERT_EQ(Route(3, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT), QELHW_OK);
  EXPECT_EQ(ReadRegister(0x10014) & 1u, 1u);
  ASSERT_EQ(Route(1, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT, false), QELHW_OK);
  EXPECT_EQ(ReadRegister(0x10014) & 1u, 1u);
  ASSERT_EQ(Route(3, YAT_ROUTE_HOST_DMA, YAT_ROUTE_HOST_DMA_BIT, false), QELHW_OK);
  EXPECT_EQ(ReadRegister(0x10014) & 1u, 0u);
  ASSERT_EQ(Route(0, YAT_ROUTE_CHANNEL, kFrameEvent | 0x2, false), QELHW_OK);
  EXPECT_EQ(Peek(kChannel0Enable) & 1u, 0u);
}

TEST_F(StavroMessages, AKilledClientLosesItsRoutesAndItsSuccessorStartsEmpty) {
  ChildProcess& first = Client();
  ASSERT_EQ(Tell(first, "register 0"), "status 0");
  ASSERT_EQ(Tell(first, "route 0 0 1 4000000"), "status 0");
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x404, kFrameStatus), plat::board::kControlOk);
  ASSERT_EQ(Tell(first, "wait 0 30000"), "signalled");
  first.kill_hard();
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while ((Peek(kChannel0Enable) & 1u) != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(Peek(kChannel0Enable) & 1u, 0u);
  ChildProcess& next = Client();  // takes the freed slot
  EXPECT_EQ(Tell(next, "fetch 0 0"), "fetch 0 0 0 0 0 0 0 0 0 0 0");
  EXPECT_EQ(Tell(next, "route 0 0 1 4000000"), "status 0");
}

}  // namespace
