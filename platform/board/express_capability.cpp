#include "platform/board/express_capability.h"

namespace plat::board {

void add_express_capability(ConfigSpace& space, std::uint32_t at, std::uint8_t next,
                            const ExpressLink& link) {
  config_set(space, at, 1, kCapPciExpress);
  config_set(space, at + 1, 1, next);
  // Capability version 2, device/port type in bits 4..7.
  config_set(space, at + kExpCapabilities, 2, 0x0002u | (std::uint32_t{link.port_type} << 4));
  // Maximum payload 256 bytes (code 1).
  config_set(space, at + kExpDeviceCapabilities, 4, 0x00000001u);
  // Reporting enables (bits 0..3), relaxed ordering (4), payload (5..7),
  // no snoop (11) and read request size (12..14) are software's to set.
  config_set(space, at + kExpDeviceControl, 2, 0x2810);
  config_set_writable(space, at + kExpDeviceControl, 2, 0x78FF);
  config_set(space, at + kExpLinkCapabilities, 4,
             std::uint32_t{link.max_speed} | (std::uint32_t{link.max_width} << 4));
  config_set_writable(space, at + kExpLinkControl, 2, 0x00C3);
  config_set(space, at + kExpLinkStatus, 2,
             std::uint32_t{link.speed} | (std::uint32_t{link.width} << 4));
}

}  // namespace plat::board
