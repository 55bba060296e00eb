#include "platform/board/camera_uart.h"

#include <mutex>

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

bool ends_a_command(std::uint8_t byte) { return byte == '\r' || byte == '\n'; }

void camera_hears(CameraUart& uart, std::uint8_t byte) {
  uart.heard.push_back(byte);
  switch (uart.mode) {
    case UartPeerMode::kEcho: camera_uart_camera_send(uart, {byte}); break;
    case UartPeerMode::kReply:
      if (ends_a_command(byte)) camera_uart_camera_send(uart, uart.reply);
      break;
    case UartPeerMode::kSilent: break;
  }
}

}  // namespace

bool camera_uart_read(CameraUart& uart, std::uint32_t offset, std::uint32_t* value) {
  switch (offset) {
    case kRegCameraUartDivisor: *value = uart.divisor; return true;
    case kRegCameraUartTransmit: *value = 0; return true;
    case kRegCameraUartReceive:
      *value = 0;
      if (!uart.receive.empty()) {
        *value = kCameraUartByteValid | uart.receive.front();
        uart.receive.pop_front();
      }
      return true;
    default: return false;
  }
}

bool camera_uart_write(CameraUart& uart, std::uint32_t offset, std::uint32_t value) {
  switch (offset) {
    case kRegCameraUartDivisor: uart.divisor = value & kCameraUartDivisorBits; return true;
    case kRegCameraUartTransmit: camera_hears(uart, static_cast<std::uint8_t>(value)); return true;
    case kRegCameraUartReceive: return true;
    default: return false;
  }
}

void camera_uart_camera_send(CameraUart& uart, const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t byte : bytes)
    if (uart.receive.size() < kCameraUartReceiveDepth) uart.receive.push_back(byte);
}

bool board_camera_uart_set_peer(Board* board, std::uint32_t mode, const std::vector<std::uint8_t>& reply) {
  if (mode > static_cast<std::uint32_t>(UartPeerMode::kSilent)) return false;
  std::lock_guard guard(board->lock);
  board->camera_uart.mode = static_cast<UartPeerMode>(mode);
  board->camera_uart.reply = reply;
  return true;
}

void board_camera_uart_send(Board* board, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard guard(board->lock);
  camera_uart_camera_send(board->camera_uart, bytes);
}

std::vector<std::uint8_t> board_camera_uart_heard(Board* board) {
  std::lock_guard guard(board->lock);
  return board->camera_uart.heard;
}

}  // namespace plat::board
