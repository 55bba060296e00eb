// The UARTs of a board (uart_block.h) inside the board: their register
// routing, the thread that sends each transmitted byte when its character
// time has passed, and what tests do at the camera's end of each line.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/board/board.h"
#include "platform/board/uart_block.h"

namespace plat::board {

// Runs while a board's transmit FIFOs have bytes on their way; ends with the board.
class UartWorker {
 public:
  UartWorker() = default;
  ~UartWorker();
  UartWorker(const UartWorker&) = delete;
  UartWorker& operator=(const UartWorker&) = delete;

  Board* board = nullptr;
  std::thread thread;
  std::condition_variable wake;
  bool stop = false;
  bool woken = false;  // a byte was transmitted since the worker last looked
};

// Register access with the board's lock held; false for other offsets.
bool uart_register_read(Board& board, std::uint32_t offset, std::uint32_t* value);
bool uart_register_write(Board& board, std::uint32_t offset, std::uint32_t value);

// For tests and tools. Ports are 0 and 1; false for any other.
bool board_uart_set_peer(Board* board, std::uint32_t port, UartPeerMode mode, const std::vector<std::uint8_t>& reply);
bool board_uart_camera_send(Board* board, std::uint32_t port, const std::vector<std::uint8_t>& bytes,
                            bool parity_error, bool burst);
struct UartPortView {
  std::uint32_t control;       // written bits of 0x1220
  std::uint32_t clock_select;  // 0x1230
  std::uint32_t resets;        // writes of 1 to 0x122C
  std::uint32_t baud;          // the rate the port runs at
  std::uint32_t heard_count;   // bytes the camera received
  std::uint32_t heard_baud;    // the rate the last of them came at
};
bool board_uart_view(Board* board, std::uint32_t port, UartPortView* view);
bool board_uart_heard(Board* board, std::uint32_t port, std::vector<std::uint8_t>* bytes);
// The capabilities the status reports (fast clock, transmit interrupt).
void board_uart_set_capabilities(Board* board, bool fast_clock, bool transmit_interrupt);

}  // namespace plat::board
