// The UARTs inside a board: the board's own thread sends what the driver
// transmits, with no further register access to push it along.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/board/board_uart.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

using namespace std::chrono_literals;

std::uint32_t Heard(Board* board) {
  UartPortView view{};
  EXPECT_TRUE(board_uart_view(board, 0, &view));
  return view.heard_count;
}

// Each byte is transmitted the moment the one before it reached the camera,
// while the sending thread may still be finishing its round: each one must
// reach the camera too.
TEST(BoardUart, AByteTransmittedJustAfterTheLastWentOutStillGoesOut) {
  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full");
  bar_write32(board.get(), 0, kRegUartControl, 0x200);  // divisor 0: the fastest rate, eight bits
  constexpr std::uint32_t kBytes = 2000;
  for (std::uint32_t sent = 0; sent < kBytes; ++sent) {
    bar_write32(board.get(), 0, kRegUartTransmit, sent & 0xFF);
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while (Heard(board.get()) != sent + 1 && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    ASSERT_EQ(Heard(board.get()), sent + 1) << "byte " << sent << " was not sent";
  }
}

}  // namespace
}  // namespace plat::board
