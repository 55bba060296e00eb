// General-purpose I/O: the main board's four inputs and output byte, and the
// I/O board's eight inputs, fault input, output byte and control word. Both
// the driver (event enables, edge latches, the level it reports in its
// messages) and the board library (inputs, outputs, edge selection) use these
// registers, so each bit has one meaning here:
//
// - 0x820 main board inputs:
//     bits 0..3   input lines 0..3, read-only;
//     bits 4..7   edge latches of lines 0..3: set when the line's selected
//                 edge is seen while its event is enabled; a write of one
//                 clears them (the interrupt routine writes back what it read);
//     bits 16..19 event enables of lines 0..3 (written by the driver);
//     bits 20..23 edge selection of lines 0..3: set = rising edge, clear =
//                 falling edge (the driver reports a set bit as level 1, a
//                 clear one as level 2);
//     the other bits read back as written.
// - 0x824 main board outputs: bits 0..7 the output lines.
// - 0x80C I/O board inputs:
//     bits 0..7   input lines 0..7, read-only;
//     bit 8       the fault input, read-only;
//     bit 15      event enable of the fault (written by the driver);
//     bits 16..23 event enables of lines 0..7 (written by the driver);
//     bits 24..31 edge selection of lines 0..7, as in 0x820;
//     the other bits read back as written.
// - 0x800 I/O board latches: bits 0..7 edge latches of lines 0..7, bit 16 the
//   fault latch (set when the fault input rises while its event is enabled).
//   A write flips the latch bits it has ones in, so the interrupt routine's
//   write-back of what it read clears exactly what it saw, and a latch that
//   fires in between survives. The other bits read back as written.
// - 0x810 I/O board outputs: bits 0..7 the output lines.
// - 0x804 I/O board control: bit 0 input level, bit 1 output type, bit 2
//   connector, bit 7 the output setting, which a rising edge of bit 6 (the
//   load pulse) takes over.
// The outputs and the control word are write-only (reads 0): the driver
// answers them from its own copy.
//
// A latch that fires raises main status bit 17. The registers hold the raw
// levels: the inversions for connector and output type are the library's.
// Tests set the inputs (board_gpio_set_inputs) and watch the rest through
// board_gpio_view; the plain register behind each of these offsets still
// keeps the last value written, for peeking.
#pragma once

#include <cstdint>

namespace plat::board {

class Board;

inline constexpr std::uint32_t kRegIoLatches = 0x800;
inline constexpr std::uint32_t kRegIoControl = 0x804;
inline constexpr std::uint32_t kRegIoInputs = 0x80C;
inline constexpr std::uint32_t kRegIoOutputs = 0x810;
inline constexpr std::uint32_t kRegMainInputs = 0x820;
inline constexpr std::uint32_t kRegMainOutputs = 0x824;

inline constexpr std::uint32_t kMainInputLines = 0xF;
inline constexpr std::uint32_t kMainLatchShift = 4;
inline constexpr std::uint32_t kMainEnableShift = 16;
inline constexpr std::uint32_t kMainEdgeShift = 20;
inline constexpr std::uint32_t kIoInputLines = 0xFF;
inline constexpr std::uint32_t kIoFaultInput = 0x100;
inline constexpr std::uint32_t kIoFaultEventEnable = 0x8000;
inline constexpr std::uint32_t kIoEnableShift = 16;
inline constexpr std::uint32_t kIoEdgeShift = 24;
inline constexpr std::uint32_t kIoFaultLatch = 0x10000;
inline constexpr std::uint32_t kIoLatchBits = kIoInputLines | kIoFaultLatch;
inline constexpr std::uint32_t kIoControlLoadPulse = 0x40;
inline constexpr std::uint32_t kIoControlOutputSetting = 0x80;
// Main status bit raised by a latch of either group.
inline constexpr std::uint32_t kMainStatusIoEvent = 1u << 17;

enum class GpioGroup : std::uint32_t { kMainBoard = 0, kIoBoard = 1 };

struct GpioBlock {
  std::uint32_t main_lines = 0;     // 0x820 bits 0..3
  std::uint32_t main_latches = 0;   // 0x820 bits 4..7
  std::uint32_t main_settings = 0;  // 0x820 bits 8..31 as written
  std::uint32_t main_outputs = 0;   // 0x824
  std::uint32_t io_lines = 0;       // 0x80C bits 0..8 (fault included)
  std::uint32_t io_settings = 0;    // 0x80C bits 9..31 as written
  std::uint32_t io_latches = 0;     // 0x800 bits 0..7 and 16
  std::uint32_t io_latch_other = 0; // 0x800's other bits as written
  std::uint32_t io_outputs = 0;     // 0x810
  std::uint32_t io_control = 0;     // 0x804
  std::uint32_t load_pulses = 0;    // rising edges of 0x804 bit 6
  std::uint32_t output_setting = 0; // 0x804 bit 7 at the last load pulse (0 or 1)
};

// Register access; false when the offset is not this block's. A write is
// taken and still answers false, so that the plain register keeps the value.
bool gpio_block_read(const GpioBlock& block, std::uint32_t offset, std::uint32_t* value);
bool gpio_block_write(GpioBlock& block, std::uint32_t offset, std::uint32_t value);

// New levels of a group's inputs (main board: bits 0..3; I/O board: bits
// 0..7 and the fault at bit 8). Answers the main status bits to raise.
std::uint32_t gpio_block_set_inputs(GpioBlock& block, GpioGroup group, std::uint32_t lines);

// For tests and tools: the inputs of a group (raising the interrupt status
// when a latch fires; false for an unknown group) and the block as it stands.
bool board_gpio_set_inputs(Board* board, std::uint32_t group, std::uint32_t lines);
GpioBlock board_gpio_view(Board* board);

}  // namespace plat::board
