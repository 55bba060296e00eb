#include "platform/board/identity_block.h"

namespace plat::board {

bool identity_block_read(const IdentityBlock& block, std::uint32_t offset, std::uint32_t* value) {
  if (offset != kRegFpgaId) return false;
  *value = block.fpga_id;
  return true;
}

bool identity_block_write(IdentityBlock&, std::uint32_t offset, std::uint32_t) {
  return offset == kRegFpgaId;
}

}  // namespace plat::board
