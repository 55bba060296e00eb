// 256 bytes of PCI configuration space with, per byte, the bits software may
// change. Read-only fields, hard-wired BAR low bits and the size bits of a BAR
// all follow from the write mask: a BAR whose mask clears its low bits reads
// back its size after the all-ones probe, as on real hardware.
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kConfigSize = 256;

// Standard header offsets shared by both header types.
inline constexpr std::uint32_t kCfgVendorId = 0x00;
inline constexpr std::uint32_t kCfgDeviceId = 0x02;
inline constexpr std::uint32_t kCfgCommand = 0x04;
inline constexpr std::uint32_t kCfgStatus = 0x06;
inline constexpr std::uint32_t kCfgRevision = 0x08;
inline constexpr std::uint32_t kCfgClassCode = 0x09;  // 3 bytes: prog-if, sub-class, class
inline constexpr std::uint32_t kCfgCacheLineSize = 0x0C;
inline constexpr std::uint32_t kCfgLatencyTimer = 0x0D;
inline constexpr std::uint32_t kCfgHeaderType = 0x0E;
inline constexpr std::uint32_t kCfgBar0 = 0x10;
inline constexpr std::uint32_t kCfgCapabilityPointer = 0x34;
inline constexpr std::uint32_t kCfgInterruptLine = 0x3C;
inline constexpr std::uint32_t kCfgInterruptPin = 0x3D;

// Type 0 (function) only.
inline constexpr std::uint32_t kCfgSubsystemVendorId = 0x2C;
inline constexpr std::uint32_t kCfgSubsystemId = 0x2E;

// Type 1 (bridge) only.
inline constexpr std::uint32_t kCfgPrimaryBus = 0x18;
inline constexpr std::uint32_t kCfgSecondaryBus = 0x19;
inline constexpr std::uint32_t kCfgSubordinateBus = 0x1A;
inline constexpr std::uint32_t kCfgMemoryBase = 0x20;
inline constexpr std::uint32_t kCfgMemoryLimit = 0x22;
inline constexpr std::uint32_t kCfgBridgeControl = 0x3E;

inline constexpr std::uint16_t kCommandIoSpace = 0x0001;
inline constexpr std::uint16_t kCommandMemorySpace = 0x0002;
inline constexpr std::uint16_t kCommandBusMaster = 0x0004;
inline constexpr std::uint16_t kCommandParityError = 0x0040;
inline constexpr std::uint16_t kCommandSerr = 0x0100;
inline constexpr std::uint16_t kCommandInterruptDisable = 0x0400;

inline constexpr std::uint16_t kStatusInterrupt = 0x0008;
inline constexpr std::uint16_t kStatusCapabilityList = 0x0010;

// Capability ids.
inline constexpr std::uint8_t kCapPowerManagement = 0x01;
inline constexpr std::uint8_t kCapPciExpress = 0x10;

// PCI Express capability registers, relative to the capability.
inline constexpr std::uint32_t kExpCapabilities = 0x02;
inline constexpr std::uint32_t kExpDeviceCapabilities = 0x04;
inline constexpr std::uint32_t kExpDeviceControl = 0x08;
inline constexpr std::uint32_t kExpDeviceStatus = 0x0A;
inline constexpr std::uint32_t kExpLinkCapabilities = 0x0C;
inline constexpr std::uint32_t kExpLinkControl = 0x10;
inline constexpr std::uint32_t kExpLinkStatus = 0x12;
inline constexpr std::uint32_t kExpCapabilitySize = 0x3C;

struct ConfigSpace {
  std::array<std::uint8_t, kConfigSize> bytes{};
  std::array<std::uint8_t, kConfigSize> writable{};
};

// Width 1 to 4 bytes inside one double word of the space (the byte enables of
// one configuration cycle: a 3-byte read of the class code is fine).
bool config_access_valid(std::uint32_t offset, std::uint32_t width);
// All ones of the access width.
std::uint32_t config_all_ones(std::uint32_t width);

// Little-endian field access; the caller has validated the access.
std::uint32_t config_get(const ConfigSpace& space, std::uint32_t offset, std::uint32_t width);
// Sets a field regardless of the write mask (the device's own view).
void config_set(ConfigSpace& space, std::uint32_t offset, std::uint32_t width, std::uint32_t value);
// Marks bits of a field as changeable by software.
void config_set_writable(ConfigSpace& space, std::uint32_t offset, std::uint32_t width,
                         std::uint32_t mask);
// A software write: only the writable bits change.
void config_write_masked(ConfigSpace& space, std::uint32_t offset, std::uint32_t width,
                         std::uint32_t value);

}  // namespace plat::board
