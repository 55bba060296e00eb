// The camera UART in camera 0's register window: one byte register each way
// and a camera at the far end of the line.
//
// - 0x10 baud-rate divisor (bits 0..8), read back as written; the model
//   passes bytes at once, whatever the rate.
// - 0x14 transmit, write-only (reads 0): bits 0..7 go to the camera.
// - 0x18 receive: a read takes the oldest byte the camera sent (bits 0..7)
//   and sets bit 8 with it; with nothing received it reads 0.
//
// The camera echoes every byte by default; it can instead answer each
// carriage return or line feed with a scripted reply, or only listen. What it
// sends waits in a receive FIFO of kCameraUartReceiveDepth bytes; bytes that
// do not fit are lost.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/board/uart_block.h"

namespace plat::board {

class Board;

inline constexpr std::uint32_t kRegCameraUartDivisor = 0x10;
inline constexpr std::uint32_t kRegCameraUartTransmit = 0x14;
inline constexpr std::uint32_t kRegCameraUartReceive = 0x18;
inline constexpr std::uint32_t kCameraUartDivisorBits = 0x1FF;
inline constexpr std::uint32_t kCameraUartByteValid = 0x100;
inline constexpr std::size_t kCameraUartReceiveDepth = 64;

struct CameraUart {
  std::uint32_t divisor = 0;
  UartPeerMode mode = UartPeerMode::kEcho;
  std::vector<std::uint8_t> reply;
  std::vector<std::uint8_t> heard;  // every byte the camera received
  std::deque<std::uint8_t> receive;
};

// Register access; false when the offset is not this block's.
bool camera_uart_read(CameraUart& uart, std::uint32_t offset, std::uint32_t* value);
bool camera_uart_write(CameraUart& uart, std::uint32_t offset, std::uint32_t value);
// The camera sends bytes of its own.
void camera_uart_camera_send(CameraUart& uart, const std::vector<std::uint8_t>& bytes);

// For tests and tools. A mode outside UartPeerMode is refused.
bool board_camera_uart_set_peer(Board* board, std::uint32_t mode, const std::vector<std::uint8_t>& reply);
void board_camera_uart_send(Board* board, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> board_camera_uart_heard(Board* board);

}  // namespace plat::board
