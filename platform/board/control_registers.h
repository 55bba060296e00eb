// The board's plain registers: board control, event routing, the camera front
// ends, the acquisition channels, the serial ports' control words, the grab
// controllers and the DMA block's settings, beside the blocks that have a
// model of their own (identity, interrupts, DMA control, processing units,
// memory windows).
//
// Each register is one of:
// - read/write: reads back what was last written (0 at power-on, except a
//   grab controller's group count and frames per group, 1);
// - write-only: the value is taken (and kept, so that tests can peek it) but
//   reads as 0, except for the register's input bits;
// - read-only: reads its input bits only; writes are ignored.
// Input bits are the board's status lines. Which bits of a register the board
// answers follows what the driver takes from the board for that register
// (the rest it keeps in its own shadow); they are 0 until a test sets them
// (board_set_register_inputs), except the front-end identity words below.
//
// Named registers:
// - 0x414 board control: bits 0..4 status inputs, the rest write-only.
// - 0x1000 + 0x400 * c front-end identity of camera c (c 0, 1): read-only,
//   kFrontEndIdentity (never 0 or all ones: a front end is present).
// - 0x1010 + 0x400 * n control word of acquisition channel n (n 0..7): a
//   write-only command (4 stops the channel), bit 31 an input (channel busy).
//   The grab controllers (grab_controller.h) make the words of their cameras
//   read back and act on them.
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegBoardControl = 0x414;
inline constexpr std::uint32_t kRegFrontEndIdentity = 0x1000;
inline constexpr std::uint32_t kRegChannelControl = 0x1010;
inline constexpr std::uint32_t kChannelStride = 0x400;
inline constexpr std::uint32_t kChannelCount = 8;
inline constexpr std::uint32_t kFrontEndIdentity = 0x00010001;

enum class RegisterKind : std::uint8_t { kNone = 0, kReadWrite, kWriteOnly, kReadOnly };

inline constexpr std::uint32_t kControlRegisterWords = 0x18000 / 4;

struct ControlRegisters {
  std::array<std::uint32_t, kControlRegisterWords> written{};
  std::array<std::uint32_t, kControlRegisterWords> inputs{};
};

void control_registers_reset(ControlRegisters& registers);

// Register access; false when the offset is not a plain register.
bool control_registers_read(const ControlRegisters& registers, std::uint32_t offset, std::uint32_t* value);
bool control_registers_write(ControlRegisters& registers, std::uint32_t offset, std::uint32_t value);

// For tests: sets a register's input bits (only those the register has);
// false when it has none.
bool control_registers_set_inputs(ControlRegisters& registers, std::uint32_t offset, std::uint32_t value);
// The value last written to a plain register, whatever it reads as.
bool control_registers_peek(const ControlRegisters& registers, std::uint32_t offset, std::uint32_t* value);
// The value last written with the register's input bits in place of the
// written ones, for blocks that make a plain register read back.
bool control_registers_read_back(const ControlRegisters& registers, std::uint32_t offset, std::uint32_t* value);

}  // namespace plat::board
