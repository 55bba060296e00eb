// The board's two UARTs (the Camera Link serial control lines) and, on the
// far end of each line, the camera's serial port.
//
// Registers of port p, at 0x400 x p above the port-0 offsets:
// - 0x1220 control and status. Written bits 0..15: bits 0-8 baud divisor,
//   bit 9 eight data bits (clear: seven), bits 10-11 parity (0 none, 0x400
//   even, 0xC00 odd), bit 13 receive interrupt enable, bit 14 line-status
//   (overflow) interrupt enable, bit 15 transmit interrupt enable. Read: the
//   written bits, and bit 16 receive data ready, bit 18 transmit FIFO full,
//   bit 19 parity error of the byte at the head of the receive FIFO, bit 20
//   receive FIFO overflow (cleared by the read), bit 21 transmit FIFO below
//   half, bit 29 fast clock present, bit 30 transmit interrupt present.
// - 0x1224 transmit data (one byte into the transmit FIFO; dropped when full).
// - 0x1228 receive data (reading takes the byte at the head of the FIFO).
// - 0x122C reset: counted; clears the overflow flag.
// - 0x1230 clock select: 0x10000 selects the fast clock (where present).
// The second port's presence (0x1400) is camera 1's front-end identity word
// of the plain registers: a test that clears its inputs removes the port.
//
// Timing: the transmit FIFO (16 bytes) sends one character per character
// time at the programmed rate (clock / (16 x (divisor + 1)), start, data,
// parity and stop bits), so a full FIFO really makes the driver wait. The
// camera answers at once: what it sends waits on the line and enters the
// receive FIFO (64 bytes) as soon as there is room, so nothing the camera
// sends is lost in the UART itself, unless a test sends a burst: a burst
// enters the receive FIFO at once, and what does not fit is lost and sets
// the overflow flag.
//
// Interrupts: main status bit 0 is a level, up while an enabled condition of
// either port is pending (receive data, overflow, or the transmit FIFO having
// fallen below half since the status was last read).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace plat::board {

inline constexpr std::uint32_t kUartPorts = 2;
inline constexpr std::uint32_t kUartStride = 0x400;
inline constexpr std::uint32_t kRegUartControl = 0x1220;
inline constexpr std::uint32_t kRegUartTransmit = 0x1224;
inline constexpr std::uint32_t kRegUartReceive = 0x1228;
inline constexpr std::uint32_t kRegUartReset = 0x122C;
inline constexpr std::uint32_t kRegUartClockSelect = 0x1230;
inline constexpr std::size_t kUartTransmitDepth = 16;
inline constexpr std::size_t kUartReceiveDepth = 64;
inline constexpr std::uint32_t kUartClock = 50000000;
inline constexpr std::uint32_t kUartFastClock = 59090909;
inline constexpr std::uint32_t kUartFastClockSelect = 0x10000;

inline constexpr std::uint32_t kUartReceiveEnable = 1u << 13;
inline constexpr std::uint32_t kUartLineStatusEnable = 1u << 14;
inline constexpr std::uint32_t kUartTransmitEnable = 1u << 15;
inline constexpr std::uint32_t kUartReceiveReady = 1u << 16;
inline constexpr std::uint32_t kUartTransmitFull = 1u << 18;
inline constexpr std::uint32_t kUartParityError = 1u << 19;
inline constexpr std::uint32_t kUartOverflow = 1u << 20;
inline constexpr std::uint32_t kUartTransmitBelowHalf = 1u << 21;
inline constexpr std::uint32_t kUartFastClockPresent = 1u << 29;
inline constexpr std::uint32_t kUartTransmitInterruptPresent = 1u << 30;

// What the camera does with what it receives.
enum class UartPeerMode : std::uint32_t {
  kEcho = 0,    // sends every byte back
  kReply = 1,   // answers each carriage return or line feed with the scripted reply
  kSilent = 2,  // only listens
};

using UartClock = std::chrono::steady_clock;

struct UartByte {
  std::uint8_t value;
  bool parity_error;
};

struct UartPort {
  std::uint32_t control = 0;  // written bits 0..15
  std::uint32_t clock_select = 0;
  std::uint32_t resets = 0;
  bool overflow = false;
  bool transmit_drained = false;  // fell below half since the status was read
  std::deque<UartClock::time_point> departures;  // of the transmit FIFO's bytes
  std::deque<std::uint8_t> transmit;
  std::deque<UartByte> receive;
  // The camera.
  UartPeerMode mode = UartPeerMode::kEcho;
  std::vector<std::uint8_t> reply;
  std::deque<UartByte> on_the_line;  // sent by the camera, not yet in the receive FIFO
  std::vector<std::uint8_t> heard;   // every byte the camera received
  std::uint32_t heard_baud = 0;      // the rate the last of them was sent at
};

struct UartBlock {
  std::array<UartPort, kUartPorts> ports;
  bool fast_clock = false;           // status bit 29
  bool transmit_interrupt = false;   // status bit 30
};

// Register access; false when the offset is not a UART register.
bool uart_block_read(UartBlock& block, std::uint32_t offset, std::uint32_t* value, UartClock::time_point now);
bool uart_block_write(UartBlock& block, std::uint32_t offset, std::uint32_t value, UartClock::time_point now);

// Sends what is due by `now` to the cameras and moves what they sent into
// the receive FIFOs; answers when the next byte is due, if any.
std::optional<UartClock::time_point> uart_block_advance(UartBlock& block, UartClock::time_point now);

// The camera sends bytes (they enter the receive FIFO as room allows).
void uart_camera_send(UartBlock& block, std::uint32_t port, const std::vector<std::uint8_t>& bytes,
                      bool parity_error, bool burst);

// Main status bit 0: an enabled condition of a port is pending.
bool uart_block_interrupt(const UartBlock& block);

// The rate a port runs at now.
std::uint32_t uart_port_baud(const UartBlock& block, std::uint32_t port);

}  // namespace plat::board
