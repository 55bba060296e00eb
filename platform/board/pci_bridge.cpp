#include "platform/board/pci_bridge.h"

#include "platform/board/express_capability.h"

namespace plat::board {

ConfigSpace make_bridge_config(int index, std::uint64_t window_base, std::uint64_t window_size) {
  ConfigSpace space;
  config_set(space, kCfgVendorId, 2, kBridgeVendorId);
  config_set(space, kCfgDeviceId, 2, kBridgeDeviceId);
  config_set(space, kCfgClassCode, 3, kBridgeClassCode);
  config_set(space, kCfgHeaderType, 1, 0x01);
  config_set(space, kCfgCommand, 2, kCommandMemorySpace | kCommandBusMaster);
  config_set_writable(space, kCfgCommand, 2,
                      kCommandMemorySpace | kCommandBusMaster | kCommandParityError |
                          kCommandSerr | kCommandInterruptDisable);
  config_set(space, kCfgStatus, 2, kStatusCapabilityList);

  const auto secondary = static_cast<std::uint32_t>(index + 1);
  config_set(space, kCfgPrimaryBus, 1, 0);
  config_set(space, kCfgSecondaryBus, 1, secondary);
  config_set(space, kCfgSubordinateBus, 1, secondary);
  config_set_writable(space, kCfgPrimaryBus, 3, 0xFFFFFF);

  // Memory window in 1 MiB units: bits 4..15 hold address bits 20..31.
  const std::uint64_t limit = window_base + window_size - 1;
  config_set(space, kCfgMemoryBase, 2, static_cast<std::uint32_t>(window_base >> 16) & 0xFFF0);
  config_set(space, kCfgMemoryLimit, 2, static_cast<std::uint32_t>(limit >> 16) & 0xFFF0);
  config_set_writable(space, kCfgMemoryBase, 4, 0xFFF0FFF0);
  config_set_writable(space, kCfgBridgeControl, 2, 0x0003);  // parity, SERR forwarding

  config_set(space, kCfgCapabilityPointer, 1, kBridgeExpressCapability);
  add_express_capability(space, kBridgeExpressCapability, 0,
                         ExpressLink{kExpPortRoot, 4, 4, kExpLinkSpeed2_5, kExpLinkSpeed2_5});
  return space;
}

}  // namespace plat::board
