#include "platform/board/board_uart.h"

#include "platform/board/board_state.h"
#include "platform/board/interrupt_line.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kSerialMainBit = 0x1;

// With the board's lock held.
void sync_level(Board& board) {
  if (uart_block_interrupt(board.uarts)) board.interrupts.level_bits |= kSerialMainBit;
  else board.interrupts.level_bits &= ~kSerialMainBit;
}

void worker_loop(Board* board) {
  UartWorker& worker = board->uart_worker;
  std::unique_lock guard(board->lock);
  // A byte transmitted while the lock is given up for the report has its
  // wake-up flagged, not lost: the worker looks again before sleeping.
  const auto roused = [&worker] { return worker.stop || worker.woken; };
  while (!worker.stop) {
    worker.woken = false;
    const auto next = uart_block_advance(board->uarts, UartClock::now());
    sync_level(*board);
    guard.unlock();
    interrupt_line_update(*board);
    guard.lock();
    if (next) worker.wake.wait_until(guard, *next, roused);
    else worker.wake.wait(guard, roused);
  }
}

// With the board's lock held: the worker runs from the first transmitted byte on.
void wake_worker(Board& board) {
  UartWorker& worker = board.uart_worker;
  if (!worker.thread.joinable()) {
    worker.board = &board;
    worker.thread = std::thread(worker_loop, &board);
  }
  worker.woken = true;
  worker.wake.notify_all();
}

bool valid_port(std::uint32_t port) { return port < kUartPorts; }

}  // namespace

UartWorker::~UartWorker() {
  if (!thread.joinable()) return;
  {
    std::lock_guard guard(board->lock);
    stop = true;
  }
  wake.notify_all();
  thread.join();
}

bool uart_register_read(Board& board, std::uint32_t offset, std::uint32_t* value) {
  if (!uart_block_read(board.uarts, offset, value, UartClock::now())) return false;
  sync_level(board);
  return true;
}

bool uart_register_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  if (!uart_block_write(board.uarts, offset, value, UartClock::now())) return false;
  sync_level(board);
  if (offset % kUartStride == kRegUartTransmit % kUartStride) wake_worker(board);
  return true;
}

bool board_uart_set_peer(Board* board, std::uint32_t port, UartPeerMode mode, const std::vector<std::uint8_t>& reply) {
  if (!valid_port(port) || static_cast<std::uint32_t>(mode) > static_cast<std::uint32_t>(UartPeerMode::kSilent))
    return false;
  std::lock_guard guard(board->lock);
  board->uarts.ports[port].mode = mode;
  board->uarts.ports[port].reply = reply;
  return true;
}

bool board_uart_camera_send(Board* board, std::uint32_t port, const std::vector<std::uint8_t>& bytes,
                            bool parity_error, bool burst) {
  if (!valid_port(port)) return false;
  {
    std::lock_guard guard(board->lock);
    uart_camera_send(board->uarts, port, bytes, parity_error, burst);
    sync_level(*board);
  }
  interrupt_line_update(*board);
  return true;
}

bool board_uart_view(Board* board, std::uint32_t port, UartPortView* view) {
  if (!valid_port(port)) return false;
  std::lock_guard guard(board->lock);
  const UartPort& state = board->uarts.ports[port];
  *view = UartPortView{state.control, state.clock_select, state.resets, uart_port_baud(board->uarts, port),
                       static_cast<std::uint32_t>(state.heard.size()), state.heard_baud};
  return true;
}

bool board_uart_heard(Board* board, std::uint32_t port, std::vector<std::uint8_t>* bytes) {
  if (!valid_port(port)) return false;
  std::lock_guard guard(board->lock);
  *bytes = board->uarts.ports[port].heard;
  return true;
}

void board_uart_set_capabilities(Board* board, bool fast_clock, bool transmit_interrupt) {
  std::lock_guard guard(board->lock);
  board->uarts.fast_clock = fast_clock;
  board->uarts.transmit_interrupt = transmit_interrupt;
}

}  // namespace plat::board
