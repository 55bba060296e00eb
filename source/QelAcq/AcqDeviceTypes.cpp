// The device types of this board family and the per-slot type table.
#include <array>
#include <cstdio>

#include "source/QelAcq/AcqDetect.h"

namespace {

struct DeviceType {
  const char* name;
  std::uint32_t connector;
};

constexpr std::array<DeviceType, kAcqDeviceTypeCount + 1> kTypes = {{
    {"", 0},
    {"CameraLink Full Mono #1", 1},
    {"CameraLink Base Mono #1", 1},
    {"CameraLink Base Mono #2", 2},
    {"CameraLink Base Color RGB #1", 1},
    {"CameraLink Base Color RGB #2", 2},
    {"CameraLink Medium Color RGB #1", 1},
    {"CameraLink 10 Taps Parallel Mono #1", 1},
    {"CameraLink 16 Taps Parallel Mono #1", 1},
    {"CameraLink Bayer #1", 1},
    {"CameraLink Medium Mono #1", 1},
    {"CameraLink Bayer #2", 2},
    {"CameraLink Mono #1", 1},
    {"CameraLink 8 Taps Parallel 10 Bits Mono #1", 1},
}};

constexpr std::uint32_t kNameSize = 128;

bool InTable(std::uint32_t board, std::uint32_t slot) { return board < kAcqMaxBoards && slot < kAcqSlotsPerBoard; }

}  // namespace

std::uint32_t AcqDeviceTypeConnector(std::uint32_t type) {
  return type >= 1 && type <= kAcqDeviceTypeCount ? kTypes[type].connector : 0;
}

void AcqDeviceTypeName(char* destination, std::uint32_t type) {
  if (destination == nullptr) return;
  const char* name = type <= kAcqDeviceTypeCount ? kTypes[type].name : "";
  std::snprintf(destination, kNameSize, "%s", name);
}

std::uint32_t LowestBitIndex(std::uint32_t mask) {
  for (std::uint32_t bit = 0; bit < 5; ++bit)
    if ((mask & (1u << bit)) != 0) return bit;
  return 0;
}

void AcqSetSlotDeviceType(std::uint32_t board, std::uint32_t slot, std::uint32_t type) {
  if (InTable(board, slot)) AcqGetSharedTables()->detection.deviceType[board][slot] = type;
}

std::uint32_t AcqGetSlotDeviceType(std::uint32_t board, std::uint32_t slot) {
  return InTable(board, slot) ? AcqGetSharedTables()->detection.deviceType[board][slot] : 0;
}

std::uint32_t AcqGetSlotOfType(std::uint32_t board, std::uint32_t type) {
  for (std::uint32_t slot = 0; board < kAcqMaxBoards && slot < kAcqSlotsPerBoard; ++slot)
    if (AcqGetSharedTables()->detection.deviceType[board][slot] == type) return slot;
  return 0;
}
