#include "platform/board/capability_register.h"

namespace plat::board {

std::uint32_t firmware_capabilities(std::uint32_t option_bits) {
  std::uint32_t word = 0;
  if ((option_bits & kFirmwareKernelOption) != 0) word |= kCapabilityKernel;
  if ((option_bits & kFirmwareFlatFieldOption) != 0) word |= kCapabilityFlatField;
  return word;
}

}  // namespace plat::board
