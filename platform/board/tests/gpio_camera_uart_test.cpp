// The camera UART in camera 0's register window: bytes written reach the
// camera, and what it sends back is read one byte per read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/board/camera_uart.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

class CameraUartTest : public ::testing::Test {
 protected:
  void SetUp() override { board = make_board("FolvantX4Full"); }
  void send(const std::string& text) {
    for (char c : text) bar_write32(board.get(), 0, kRegCameraUartTransmit, static_cast<std::uint8_t>(c));
  }
  // Every byte waiting in the receive register, until it reads empty.
  std::string received() {
    std::string text;
    for (std::uint32_t value; (value = bar_read32(board.get(), 0, kRegCameraUartReceive)) != 0;) {
      EXPECT_EQ(value & ~0xFFu, kCameraUartByteValid);
      text += static_cast<char>(value & 0xFF);
    }
    return text;
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board;
};

TEST_F(CameraUartTest, TheCameraAnswersAsItsModeSays) {
  struct Case {
    UartPeerMode mode;
    std::string sent, answer;
  };
  const Case cases[] = {
      {UartPeerMode::kEcho, "id?\r", "id?\r"},
      {UartPeerMode::kReply, "id?\r", "OK"},
      {UartPeerMode::kReply, "id?", ""},
      {UartPeerMode::kSilent, "id?\r", ""},
  };
  std::string heard;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent + " in mode " + std::to_string(static_cast<int>(c.mode)));
    ASSERT_TRUE(board_camera_uart_set_peer(board.get(), static_cast<std::uint32_t>(c.mode), {'O', 'K'}));
    send(c.sent);
    EXPECT_EQ(received(), c.answer);
    heard += c.sent;
  }
  const std::vector<std::uint8_t> bytes = board_camera_uart_heard(board.get());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), heard);
  EXPECT_FALSE(board_camera_uart_set_peer(board.get(), 3, {}));
}

TEST_F(CameraUartTest, WhatDoesNotFitTheReceiveFifoIsLostAndTheDivisorReadsBack) {
  board_camera_uart_send(board.get(), std::vector<std::uint8_t>(kCameraUartReceiveDepth + 3, 'x'));
  EXPECT_EQ(received(), std::string(kCameraUartReceiveDepth, 'x'));
  bar_write32(board.get(), 0, kRegCameraUartDivisor, 0xFFFF0145);
  EXPECT_EQ(bar_read32(board.get(), 0, kRegCameraUartDivisor), 0x145u);
  EXPECT_EQ(bar_read32(board.get(), 0, kRegCameraUartTransmit), 0u);
}

}  // namespace
}  // namespace plat::board
