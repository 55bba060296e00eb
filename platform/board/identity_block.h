// Firmware identity: what the running FPGA design says it is.
// - 0x400 FPGA id, read-only: the firmware id of the running firmware (its
//   low 20 bits select the driver's register map; 0x227 and 0x238 are the two
//   designs of this board family). A board that boots from flash takes it,
//   with the option bits, from the header of the section it booted.
// The option bits are not a register of their own: the blocks whose
// presence they decide (the second camera's front end) follow them.
#pragma once

#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegFpgaId = 0x400;

struct IdentityBlock {
  std::uint32_t fpga_id = 0;
  std::uint32_t option_bits = 0;
};

// Option bit of a firmware built for one camera: the second front end is absent.
inline constexpr std::uint32_t kFirmwareSingleCamera = 0x200;

bool identity_block_read(const IdentityBlock& block, std::uint32_t offset, std::uint32_t* value);
// Known registers are read-only: writes are accepted and have no effect.
bool identity_block_write(IdentityBlock& block, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
