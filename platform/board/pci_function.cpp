#include "platform/board/pci_function.h"

#include "platform/board/express_capability.h"

namespace plat::board {

namespace {

void set_identity(ConfigSpace& space, const BoardPreset& preset) {
  config_set(space, kCfgVendorId, 2, kMakerVendorId);
  config_set(space, kCfgDeviceId, 2, preset.device_id);
  config_set(space, kCfgRevision, 1, preset.revision);
  config_set(space, kCfgClassCode, 3, kFunctionClassCode);
  config_set(space, kCfgHeaderType, 1, 0x00);
  config_set(space, kCfgSubsystemVendorId, 2, kMakerVendorId);
  config_set(space, kCfgSubsystemId, 2, preset.subsystem_id);
}

void set_command_and_status(ConfigSpace& space) {
  config_set(space, kCfgCommand, 2, kCommandMemorySpace | kCommandBusMaster);
  config_set_writable(space, kCfgCommand, 2,
                      kCommandMemorySpace | kCommandBusMaster | kCommandParityError |
                          kCommandSerr | kCommandInterruptDisable);
  config_set(space, kCfgStatus, 2, kStatusCapabilityList);
  config_set_writable(space, kCfgCacheLineSize, 1, 0xFF);
  config_set_writable(space, kCfgLatencyTimer, 1, 0xFF);
}

void set_bar_and_interrupt(ConfigSpace& space, int index) {
  // 32-bit non-prefetchable memory: type bits read 0, size bits hard-wired.
  const std::uint64_t address = kBarWindowBase + kBarWindowStride * static_cast<std::uint64_t>(index);
  config_set(space, kCfgBar0, 4, static_cast<std::uint32_t>(address));
  config_set_writable(space, kCfgBar0, 4, static_cast<std::uint32_t>(~(kBar0Size - 1)));
  config_set(space, kCfgInterruptLine, 1, static_cast<std::uint32_t>(16 + index));
  config_set_writable(space, kCfgInterruptLine, 1, 0xFF);
  config_set(space, kCfgInterruptPin, 1, 1);  // INTA
}

void set_capabilities(ConfigSpace& space, const BoardPreset& preset) {
  config_set(space, kCfgCapabilityPointer, 1, kFunctionPowerCapability);
  const std::uint32_t pm = kFunctionPowerCapability;
  config_set(space, pm, 1, kCapPowerManagement);
  config_set(space, pm + 1, 1, kFunctionExpressCapability);
  config_set(space, pm + 2, 2, 0x0003);      // version 3, no PME
  config_set_writable(space, pm + 4, 2, 0x0003);  // power state D0..D3
  add_express_capability(space, kFunctionExpressCapability, 0,
                         ExpressLink{kExpPortEndpoint, preset.link_width, preset.link_width,
                                     kExpLinkSpeed2_5, kExpLinkSpeed2_5});
}

}  // namespace

ConfigSpace make_function_config(const BoardPreset& preset, int index) {
  ConfigSpace space;
  set_identity(space, preset);
  set_command_and_status(space);
  set_bar_and_interrupt(space, index);
  set_capabilities(space, preset);
  return space;
}

std::uint64_t function_bar0_address(const ConfigSpace& space) {
  return config_get(space, kCfgBar0, 4) & ~std::uint32_t{0xF};
}

bool function_memory_enabled(const ConfigSpace& space) {
  return (config_get(space, kCfgCommand, 2) & kCommandMemorySpace) != 0;
}

bool function_bus_master(const ConfigSpace& space) {
  return (config_get(space, kCfgCommand, 2) & kCommandBusMaster) != 0;
}

bool function_interrupt_disabled(const ConfigSpace& space) {
  return (config_get(space, kCfgCommand, 2) & kCommandInterruptDisable) != 0;
}

}  // namespace plat::board
