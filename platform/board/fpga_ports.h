// The configuration ports of the board's three FPGAs and the main FPGA's
// logic reset. Each port is driven bit by bit through one register: a pulse
// of its program line readies it, then each rising edge of its clock line
// takes the data line's level as the next bit of an image in our simulated
// bitstream format (bitstream.h). A port whose image ends valid reports done;
// a corrupt image, or one for another FPGA, leaves it not done.
//
// Ports (register: program, clock, data; program idle level; done):
// - main FPGA, 0x10004: bits 2, 1, 0; idle 0; done reads as bit 3. The
//   board boots configured from flash. A program pulse alone restarts the
//   board logic and keeps the design: the design is lost only once bits of a
//   new image arrive. A valid image's design id becomes the FPGA id (0x400).
//   The other bits of 0x10004 read back as written.
// - XIO FPGA, 0x808: bits 0, 1, 2; idle 1 (the line is active low); bit 3
//   is the port's idle marker and carries nothing. Not configured at power-on;
//   a program pulse unconfigures it. 0x814 bits 20..31 read 0x001 while it is
//   configured (0 otherwise), bits 0..19 read back as written; 0x818 reads
//   the configured design's version (0 when not configured).
// - expansion FPGA, 0x45C: bits 2, 0, 1; idle 0; done reads as bit 20. Not
//   configured at power-on; a program pulse unconfigures it.
// Logic reset, 0x10008: bit 0 falling from 1 to 0 resets the main FPGA's
// logic: the latched interrupt statuses clear.
//
// Writes of 0x808, 0x10008 and 0x45C also reach the plain registers, so a
// test can still peek their last value.
#pragma once

#include <cstdint>

#include "platform/board/bitstream.h"

namespace plat::board {

class Board;

inline constexpr std::uint32_t kRegMainConfig = 0x10004;
inline constexpr std::uint32_t kRegLogicReset = 0x10008;
inline constexpr std::uint32_t kRegXioConfig = 0x808;
inline constexpr std::uint32_t kRegXioStatus = 0x814;
inline constexpr std::uint32_t kRegXioVersion = 0x818;
inline constexpr std::uint32_t kRegExpansionConfig = 0x45C;
inline constexpr std::uint32_t kMainConfigDone = 0x8;
inline constexpr std::uint32_t kXioStatusConfigured = 0x00100000;
inline constexpr std::uint32_t kExpansionConfigDone = 0x00100000;

struct FpgaPort {
  std::uint32_t lines = 0;  // the port's bits as last written
  bool armed = false;       // a program pulse readied the receiver
  bool configured = false;
  std::uint64_t bits = 0;   // bits clocked in since the last pulse
  BitstreamReceiver receiver{};
  BitstreamDesign design{};
};

inline FpgaPort make_fpga_port(std::uint32_t idle_lines, bool configured) {
  FpgaPort port;
  port.lines = idle_lines;
  port.configured = configured;
  return port;
}

struct FpgaPorts {
  FpgaPort main = make_fpga_port(0, true);
  FpgaPort xio = make_fpga_port(0x1, false);
  FpgaPort expansion = make_fpga_port(0, false);
  std::uint32_t main_other_bits = 0;  // 0x10004 bits beside the port's
  std::uint32_t xio_status_low = 0;   // 0x814 bits 0..19
  std::uint32_t logic_resets = 0;
};

// The board's lock is held. A read answers true when the port owns it. A
// write answers true when it is consumed; false lets it go on to the plain
// registers (after the port saw it, for 0x808, 0x10008 and 0x45C).
bool fpga_ports_read(const Board& board, std::uint32_t offset, std::uint32_t* value);
bool fpga_ports_write(Board& board, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
