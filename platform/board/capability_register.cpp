#include "platform/board/capability_register.h"

namespace plat::board {

std::uint32_t firmware_capabilities(std::uint32_t option_bits) {
  return (option_bits & kFirmwareKernelOption) != 0 ? kCapabilityKernel : 0;
}

}  // namespace plat::board
