// 0x5000 processing capabilities, read/write: at configuration the running
// firmware sets it from its option bits, so that what the driver reads here
// agrees with the firmware description it reads from flash:
// - bit 1, the flat-field unit (flat_field_unit.h): option bit 3 (the
//   flat-field description flag);
// - bit 5, the processing kernel: option bit 7 (the kernel's description flag).
// Other bits stay 0 until written.
#pragma once

#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegCapabilities = 0x5000;
inline constexpr std::uint32_t kCapabilityKernel = 0x20;
inline constexpr std::uint32_t kFirmwareKernelOption = 0x80;
inline constexpr std::uint32_t kCapabilityFlatField = 0x2;
inline constexpr std::uint32_t kFirmwareFlatFieldOption = 0x8;

std::uint32_t firmware_capabilities(std::uint32_t option_bits);

}  // namespace plat::board
