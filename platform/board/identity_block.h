// Firmware identity: what the running FPGA design says it is.
// - 0x400 FPGA id, read-only: the design id of the running firmware (its low
//   20 bits select the driver's register map; 0x227 and 0x238 are the two
//   designs of this board family).
#pragma once

#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegFpgaId = 0x400;

struct IdentityBlock {
  std::uint32_t fpga_id = 0;
};

bool identity_block_read(const IdentityBlock& block, std::uint32_t offset, std::uint32_t* value);
// Known registers are read-only: writes are accepted and have no effect.
bool identity_block_write(IdentityBlock& block, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
