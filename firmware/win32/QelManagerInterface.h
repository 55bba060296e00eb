// The server driver's manager interface: the table of 23 functions that the
// one export GetManagerInterface hands out. A null slot means "not implemented".
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kQelManagerSlotCount = 23;

// Slots by position.
enum QelManagerSlot : std::uint32_t {
  kManGetNBoards = 0,
  kManResetBoard = 1,
  kManFlashRead = 2,
  kManFlashWrite = 3,
  kManEepromReadData = 4,
  kManEepromWriteData = 5,
  kManDeliverMessage = 7,
  kManSetServerAddress = 8,
  kManSetAnswerCallback = 9,
  kManGetDriverAbiVersion = 13,
  kManGetRegistryFirmwareKey = 14,
  kManInitInstance = 15,
  kManCloseInstance = 16,
  kManConnect = 17,
  kManDisconnect = 18,
  kManGetDevicePrm = 21,
  kManSetDevicePrm = 22,
};

// Each slot holds a function of its own signature, stored as this type.
using QelManagerEntry = void (*)();

struct QelManagerInterface {
  QelManagerEntry slot[kQelManagerSlotCount];
};
static_assert(sizeof(QelManagerInterface) == 184);

#define QUILLET_API extern "C" __attribute__((visibility("default")))

QUILLET_API QelManagerInterface* GetManagerInterface();
