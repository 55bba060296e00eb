// The UART block on its own: character timing of the transmit FIFO, the
// camera's answers, receive overflow and the interrupt level.
#include <gtest/gtest.h>

#include "platform/board/uart_block.h"

namespace {

using namespace plat::board;
using namespace std::chrono_literals;

constexpr std::uint32_t kPort1 = kUartStride;

std::uint32_t Read(UartBlock& block, std::uint32_t offset, UartClock::time_point now) {
  std::uint32_t value = 0;
  EXPECT_TRUE(uart_block_read(block, offset, &value, now));
  return value;
}

TEST(UartBlock, TransmitFifoSendsOneCharacterPerCharacterTime) {
  UartBlock block;
  const auto start = UartClock::now();
  // 115200 baud (divisor 26 of 50 MHz), 8N1: 10 bits of 16 x 27 clocks each.
  ASSERT_TRUE(uart_block_write(block, kRegUartControl, 26 | 0x200, start));
  EXPECT_EQ(uart_port_baud(block, 0), 50000000u / (16 * 27));
  for (int i = 0; i < 20; ++i) uart_block_write(block, kRegUartTransmit, 'a' + i, start);
  EXPECT_NE(Read(block, kRegUartControl, start) & kUartTransmitFull, 0u);  // 16 taken, 4 dropped
  const auto character = std::chrono::nanoseconds(10ull * 16 * 27 * 1000000000ull / 50000000);
  uart_block_advance(block, start + character * 3);
  EXPECT_EQ(block.ports[0].heard.size(), 3u);
  uart_block_advance(block, start + character * 16);
  EXPECT_EQ(block.ports[0].heard.size(), 16u);
  // The echo came back into the receive FIFO.
  EXPECT_NE(Read(block, kRegUartControl, start + character * 16) & kUartReceiveReady, 0u);
  EXPECT_EQ(Read(block, kRegUartReceive, start + character * 16), static_cast<std::uint32_t>('a'));
}

TEST(UartBlock, BurstOverflowsTheReceiveFifoAndRaisesTheLevelWhileEnabled) {
  UartBlock block;
  const auto now = UartClock::now();
  uart_camera_send(block, 1, std::vector<std::uint8_t>(kUartReceiveDepth + 5, 0x55), false, true);
  EXPECT_FALSE(uart_block_interrupt(block));  // nothing enabled yet
  uart_block_write(block, kPort1 + kRegUartControl, kUartReceiveEnable, now);
  EXPECT_TRUE(uart_block_interrupt(block));
  const std::uint32_t status = Read(block, kPort1 + kRegUartControl, now);
  EXPECT_NE(status & kUartOverflow, 0u);
  EXPECT_EQ(Read(block, kPort1 + kRegUartControl, now) & kUartOverflow, 0u);  // cleared by the read
  for (std::size_t i = 0; i < kUartReceiveDepth; ++i) Read(block, kPort1 + kRegUartReceive, now);
  EXPECT_EQ(Read(block, kPort1 + kRegUartControl, now) & kUartReceiveReady, 0u);
  EXPECT_FALSE(uart_block_interrupt(block));
}

TEST(UartBlock, ScriptedCameraAnswersEachCarriageReturnAndParityErrorsShow) {
  UartBlock block;
  const auto start = UartClock::now();
  block.ports[0].mode = UartPeerMode::kReply;
  block.ports[0].reply = {'O', 'K'};
  uart_block_write(block, kRegUartControl, 325 | 0x200, start);
  for (char c : std::string("id\r")) uart_block_write(block, kRegUartTransmit, static_cast<std::uint8_t>(c), start);
  uart_block_advance(block, start + 1s);
  EXPECT_EQ(Read(block, kRegUartReceive, start + 1s), static_cast<std::uint32_t>('O'));
  EXPECT_EQ(Read(block, kRegUartReceive, start + 1s), static_cast<std::uint32_t>('K'));
  uart_camera_send(block, 0, {0x31}, true, false);
  EXPECT_NE(Read(block, kRegUartControl, start + 1s) & kUartParityError, 0u);
}

}  // namespace
