// Plug and Play and power: minor functions, the resource lists a start
// request carries, and the properties of a bus device.
#pragma once

#include <cstdint>

namespace plat::kernel {

// Minor functions of kMajorPnp.
inline constexpr std::uint8_t kMinorStartDevice = 0x00;
inline constexpr std::uint8_t kMinorQueryRemoveDevice = 0x01;
inline constexpr std::uint8_t kMinorRemoveDevice = 0x02;
inline constexpr std::uint8_t kMinorCancelRemoveDevice = 0x03;
inline constexpr std::uint8_t kMinorStopDevice = 0x04;
inline constexpr std::uint8_t kMinorQueryStopDevice = 0x05;
inline constexpr std::uint8_t kMinorCancelStopDevice = 0x06;
inline constexpr std::uint8_t kMinorReadConfig = 0x0F;
inline constexpr std::uint8_t kMinorWriteConfig = 0x10;
inline constexpr std::uint8_t kMinorSurpriseRemoval = 0x17;

// Minor functions of kMajorPower.
inline constexpr std::uint8_t kMinorWaitWake = 0x00;
inline constexpr std::uint8_t kMinorPowerSequence = 0x01;
inline constexpr std::uint8_t kMinorSetPower = 0x02;
inline constexpr std::uint8_t kMinorQueryPower = 0x03;

enum class PowerStateType : std::uint32_t { kSystem = 0, kDevice = 1 };
// Device states D0 (working) .. D3 (off).
inline constexpr std::uint32_t kDeviceStateD0 = 1;
inline constexpr std::uint32_t kDeviceStateD3 = 4;

// Configuration space of a PCI function.
inline constexpr std::uint32_t kPciWhichSpaceConfig = 0;

enum class ResourceType : std::uint8_t { kNull = 0, kPort = 1, kInterrupt = 2, kMemory = 3, kDma = 4 };
enum class ShareDisposition : std::uint8_t { kUndetermined = 0, kDeviceExclusive = 1, kShared = 3 };
inline constexpr std::uint16_t kInterruptLevelSensitive = 0x0000;
inline constexpr std::uint16_t kInterruptLatched = 0x0001;
inline constexpr std::uint16_t kMemoryReadWrite = 0x0000;

struct ResourceDescriptor {
  ResourceType type;
  ShareDisposition share;
  std::uint16_t flags;
  union {
    struct {
      std::uint64_t start;
      std::uint32_t length;
    } memory;
    struct {
      std::uint32_t level;
      std::uint32_t vector;
      std::uint64_t affinity;
    } interrupt;
  } u;
};

inline constexpr std::uint32_t kMaxPartialResources = 16;

struct PartialResourceList {
  std::uint16_t version;
  std::uint16_t revision;
  std::uint32_t count;
  ResourceDescriptor descriptors[kMaxPartialResources];
};

enum class InterfaceType : std::uint32_t { kInternal = 0, kPciBus = 5 };

struct FullResourceDescriptor {
  InterfaceType interface_type;
  std::uint32_t bus_number;
  PartialResourceList partial;
};

struct ResourceList {
  std::uint32_t count;
  FullResourceDescriptor list[1];
};

// Properties answered by the bus for its devices.
enum class DeviceProperty : std::uint32_t {
  kBusNumber = 1,
  kAddress = 2,  // PCI: device << 16 | function
  kDeviceDescription = 3,
};

}  // namespace plat::kernel
