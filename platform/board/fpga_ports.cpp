#include "platform/board/fpga_ports.h"

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

struct PortSpec {
  std::uint32_t program, clock, data;
  std::uint32_t program_idle;
  FpgaKind kind;
  bool keeps_design_until_bits;  // the main FPGA: a pulse alone restarts its logic
};

constexpr PortSpec kMainSpec{0x4, 0x2, 0x1, 0x0, FpgaKind::kMain, true};
constexpr PortSpec kXioSpec{0x1, 0x2, 0x4, 0x1, FpgaKind::kXio, false};
constexpr PortSpec kExpansionSpec{0x4, 0x1, 0x2, 0x0, FpgaKind::kExpansion, false};

constexpr std::uint32_t kLogicResetBit = 0x1;

bool program_active(const PortSpec& spec, std::uint32_t lines) {
  return (lines & spec.program) != spec.program_idle;
}

void take_bit(FpgaPort& port, const PortSpec& spec, bool bit) {
  if (spec.keeps_design_until_bits && port.bits == 0) port.configured = false;
  ++port.bits;
  const BitstreamState before = port.receiver.state;
  const BitstreamState after = bitstream_receive_bit(port.receiver, bit);
  if (after == before) return;
  if (after == BitstreamState::kDone) {
    port.configured = true;
    port.design = port.receiver.design;
  } else if (after == BitstreamState::kFailed) {
    port.configured = false;
  }
}

// One write of a port's register: program pulse edges and clock edges.
void drive_port(FpgaPort& port, const PortSpec& spec, std::uint32_t lines) {
  const std::uint32_t previous = port.lines;
  port.lines = lines;
  if (program_active(spec, lines)) {
    if (!program_active(spec, previous)) {
      bitstream_receiver_reset(port.receiver, spec.kind);
      port.bits = 0;
      port.armed = false;
      if (!spec.keeps_design_until_bits) port.configured = false;
    }
    return;
  }
  if (program_active(spec, previous)) {
    port.armed = true;  // the pulse ended: the port waits for the image
    return;
  }
  const bool rising = (lines & spec.clock) != 0 && (previous & spec.clock) == 0;
  if (rising && port.armed) take_bit(port, spec, (lines & spec.data) != 0);
}

void reset_logic(Board& board) {
  ++board.fpga.logic_resets;
  board.interrupts.main_status = 0;
  board.interrupts.aux_a = 0;
  board.interrupts.aux_b = 0;
  board.interrupts.memory_region_events = 0;
  board.interrupts.host_dma_status = 0;
}

constexpr std::uint32_t kMainPortBits = 0x7;

}  // namespace

bool fpga_ports_read(const Board& board, std::uint32_t offset, std::uint32_t* value) {
  const FpgaPorts& ports = board.fpga;
  switch (offset) {
    case kRegMainConfig:
      *value = (ports.main_other_bits & ~kMainConfigDone) | (ports.main.lines & kMainPortBits) |
               (ports.main.configured ? kMainConfigDone : 0);
      return true;
    case kRegXioStatus:
      *value = (ports.xio_status_low & 0xFFFFF) | (ports.xio.configured ? kXioStatusConfigured : 0);
      return true;
    case kRegXioVersion:
      *value = ports.xio.configured ? ports.xio.design.design_version : 0;
      return true;
    case kRegExpansionConfig: {
      std::uint32_t inputs = 0;
      control_registers_read(board.registers, offset, &inputs);
      *value = (inputs & ~kExpansionConfigDone) | (ports.expansion.configured ? kExpansionConfigDone : 0);
      return true;
    }
    default: return false;
  }
}

bool fpga_ports_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  FpgaPorts& ports = board.fpga;
  switch (offset) {
    case kRegMainConfig: {
      ports.main_other_bits = value & ~kMainPortBits;
      const bool was_configured = ports.main.configured;
      drive_port(ports.main, kMainSpec, value & kMainPortBits);
      if (ports.main.configured && ports.main.bits != 0 && !was_configured)
        board.identity.fpga_id = ports.main.design.design_id;
      return true;
    }
    case kRegXioStatus: ports.xio_status_low = value & 0xFFFFF; return true;
    case kRegXioVersion: return true;
    case kRegXioConfig: drive_port(ports.xio, kXioSpec, value); return false;
    case kRegExpansionConfig: drive_port(ports.expansion, kExpansionSpec, value); return false;
    case kRegLogicReset: {
      std::uint32_t previous = 0;
      control_registers_peek(board.registers, offset, &previous);
      if ((previous & kLogicResetBit) != 0 && (value & kLogicResetBit) == 0) reset_logic(board);
      return false;
    }
    default: return false;
  }
}

}  // namespace plat::board
