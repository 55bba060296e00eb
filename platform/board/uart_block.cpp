#include "platform/board/uart_block.h"

#include <algorithm>

namespace plat::board {

namespace {

constexpr std::uint32_t kWrittenBits = 0xFFFF;
constexpr std::uint32_t kDivisorMask = 0x1FF;
constexpr std::uint32_t kEightBits = 1u << 9;
constexpr std::uint32_t kParityBits = 0xC00;
constexpr std::uint32_t kInterruptEnables = 0xE000;

// Which port and which of its registers an offset names.
bool decode(std::uint32_t offset, std::uint32_t* port, std::uint32_t* reg) {
  for (std::uint32_t p = 0; p < kUartPorts; ++p) {
    const std::uint32_t base = p * kUartStride;
    if (offset >= kRegUartControl + base && offset <= kRegUartClockSelect + base) {
      *port = p;
      *reg = offset - base;
      return true;
    }
  }
  return false;
}

std::uint32_t port_clock(const UartBlock& block, const UartPort& port) {
  return block.fast_clock && (port.clock_select & kUartFastClockSelect) ? kUartFastClock : kUartClock;
}

UartClock::duration character_time(const UartBlock& block, const UartPort& port) {
  const std::uint32_t bits = 1 + ((port.control & kEightBits) ? 8 : 7) + ((port.control & kParityBits) ? 1 : 0) + 1;
  const std::uint64_t divisor = (port.control & kDivisorMask) + 1;
  // bits / (clock / (16 x divisor)) seconds.
  const std::uint64_t nanoseconds = bits * 16 * divisor * 1000000000ull / port_clock(block, port);
  return std::chrono::nanoseconds(nanoseconds);
}

std::uint32_t status_of(const UartBlock& block, UartPort& port) {
  std::uint32_t value = port.control & kWrittenBits;
  if (!port.receive.empty()) value |= kUartReceiveReady;
  if (!port.receive.empty() && port.receive.front().parity_error) value |= kUartParityError;
  if (port.transmit.size() >= kUartTransmitDepth) value |= kUartTransmitFull;
  if (port.transmit.size() < kUartTransmitDepth / 2) value |= kUartTransmitBelowHalf;
  if (port.overflow) value |= kUartOverflow;
  if (block.fast_clock) value |= kUartFastClockPresent;
  if (block.transmit_interrupt) value |= kUartTransmitInterruptPresent;
  port.overflow = false;
  port.transmit_drained = false;
  return value;
}

void fill_receive(UartPort& port) {
  while (!port.on_the_line.empty() && port.receive.size() < kUartReceiveDepth) {
    port.receive.push_back(port.on_the_line.front());
    port.on_the_line.pop_front();
  }
}

void camera_hears(UartBlock& block, std::uint32_t index, std::uint8_t byte) {
  UartPort& port = block.ports[index];
  port.heard.push_back(byte);
  port.heard_baud = uart_port_baud(block, index);
  switch (port.mode) {
    case UartPeerMode::kEcho: port.on_the_line.push_back({byte, false}); break;
    case UartPeerMode::kReply:
      if (byte == '\r' || byte == '\n')
        for (std::uint8_t b : port.reply) port.on_the_line.push_back({b, false});
      break;
    case UartPeerMode::kSilent: break;
  }
}

void send_due(UartBlock& block, std::uint32_t index, UartClock::time_point now) {
  UartPort& port = block.ports[index];
  const bool was_half = port.transmit.size() >= kUartTransmitDepth / 2;
  while (!port.departures.empty() && port.departures.front() <= now) {
    const std::uint8_t byte = port.transmit.front();
    port.transmit.pop_front();
    port.departures.pop_front();
    camera_hears(block, index, byte);
  }
  if (was_half && port.transmit.size() < kUartTransmitDepth / 2) port.transmit_drained = true;
}

void transmit(UartBlock& block, UartPort& port, std::uint8_t byte, UartClock::time_point now) {
  if (port.transmit.size() >= kUartTransmitDepth) return;
  const UartClock::time_point start = port.departures.empty() ? now : std::max(now, port.departures.back());
  port.transmit.push_back(byte);
  port.departures.push_back(start + character_time(block, port));
}

}  // namespace

bool uart_block_read(UartBlock& block, std::uint32_t offset, std::uint32_t* value, UartClock::time_point now) {
  std::uint32_t index = 0, reg = 0;
  if (!decode(offset, &index, &reg)) return false;
  UartPort& port = block.ports[index];
  send_due(block, index, now);
  switch (reg) {
    case kRegUartControl: *value = status_of(block, port); break;
    case kRegUartReceive:
      *value = 0;
      if (!port.receive.empty()) {
        *value = port.receive.front().value;
        port.receive.pop_front();
      }
      break;
    case kRegUartClockSelect: *value = port.clock_select; break;
    default: *value = 0; break;  // transmit and reset registers read as 0
  }
  fill_receive(port);
  return true;
}

bool uart_block_write(UartBlock& block, std::uint32_t offset, std::uint32_t value, UartClock::time_point now) {
  std::uint32_t index = 0, reg = 0;
  if (!decode(offset, &index, &reg)) return false;
  UartPort& port = block.ports[index];
  send_due(block, index, now);
  switch (reg) {
    case kRegUartControl: port.control = value & kWrittenBits; break;
    case kRegUartTransmit: transmit(block, port, static_cast<std::uint8_t>(value), now); break;
    case kRegUartReset:
      if (value & 1) {
        ++port.resets;
        port.overflow = false;
      }
      break;
    case kRegUartClockSelect: port.clock_select = value & kUartFastClockSelect; break;
    default: break;  // the receive register takes no writes
  }
  return true;
}

std::optional<UartClock::time_point> uart_block_advance(UartBlock& block, UartClock::time_point now) {
  std::optional<UartClock::time_point> next;
  for (std::uint32_t index = 0; index < kUartPorts; ++index) {
    UartPort& port = block.ports[index];
    send_due(block, index, now);
    fill_receive(port);
    if (!port.departures.empty() && (!next || port.departures.front() < *next)) next = port.departures.front();
  }
  return next;
}

void uart_camera_send(UartBlock& block, std::uint32_t index, const std::vector<std::uint8_t>& bytes,
                      bool parity_error, bool burst) {
  if (index >= kUartPorts) return;
  UartPort& port = block.ports[index];
  for (std::uint8_t byte : bytes) {
    if (!burst) {
      port.on_the_line.push_back({byte, parity_error});
    } else if (port.receive.size() < kUartReceiveDepth) {
      port.receive.push_back({byte, parity_error});
    } else {
      port.overflow = true;
    }
  }
  fill_receive(port);
}

bool uart_block_interrupt(const UartBlock& block) {
  for (const UartPort& port : block.ports) {
    const std::uint32_t enables = port.control & kInterruptEnables;
    if ((enables & kUartReceiveEnable) && !port.receive.empty()) return true;
    if ((enables & kUartLineStatusEnable) && port.overflow) return true;
    if ((enables & kUartTransmitEnable) && block.transmit_interrupt && port.transmit_drained) return true;
  }
  return false;
}

std::uint32_t uart_port_baud(const UartBlock& block, std::uint32_t index) {
  if (index >= kUartPorts) return 0;
  const UartPort& port = block.ports[index];
  return port_clock(block, port) / (16 * ((port.control & kDivisorMask) + 1));
}

}  // namespace plat::board
