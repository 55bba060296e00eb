// The PCI-to-PCI bridge above each board: a root port on bus 0 whose secondary
// bus is the board's own, with a memory window around the board's BAR and a
// PCI Express capability (its device control is where error reporting is
// masked around an FPGA reload).
#pragma once

#include <cstdint>

#include "platform/board/config_space.h"

namespace plat::board {

// The simulated bus's own ids (not the board maker's).
inline constexpr std::uint16_t kBridgeVendorId = 0x1FFE;
inline constexpr std::uint16_t kBridgeDeviceId = 0x0001;
inline constexpr std::uint32_t kBridgeClassCode = 0x060400;
inline constexpr std::uint32_t kBridgeExpressCapability = 0x40;

// Board n sits behind the bridge 00:(n+1).0, on bus n + 1, device 0.
ConfigSpace make_bridge_config(int index, std::uint64_t window_base, std::uint64_t window_size);

}  // namespace plat::board
