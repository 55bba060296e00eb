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

// The signatures, by slot. Every status is a QelStatus.
using QelAnswerCallback = std::uint32_t (*)(void* message);
using ManGetNBoardsFn = std::uint32_t (*)(std::uint32_t* count);
using ManResetBoardFn = std::uint32_t (*)(std::uint32_t board);
using ManFlashFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t section, std::uint32_t address,
                                     std::uint32_t size, void* buffer);
using ManEepromFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, void* buffer,
                                      std::uint32_t size);
using ManDeliverMessageFn = std::uint32_t (*)(void* message);
using ManSetServerAddressFn = std::uint32_t (*)(std::uint32_t address);
using ManSetAnswerCallbackFn = std::uint32_t (*)(QelAnswerCallback callback);
using ManGetDriverAbiVersionFn = std::uint32_t (*)(std::uint32_t* version);
using ManGetRegistryFirmwareKeyFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t section, std::uint32_t size,
                                                      char* text);
using ManInitInstanceFn = std::uint32_t (*)(std::uint32_t serverMode);
using ManCloseInstanceFn = std::uint32_t (*)();
using ManConnectFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t mode);
using ManDevicePrmFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                                         std::uint32_t size, void* value);

inline constexpr std::uint32_t kManDriverAbiVersion = 100;

struct QelManagerInterface {
  QelManagerEntry slot[kQelManagerSlotCount];
};
static_assert(sizeof(QelManagerInterface) == 184);

// A slot as its own signature; null when the slot is empty.
template <typename Fn>
Fn ManagerSlotAs(const QelManagerInterface& face, QelManagerSlot slot) {
  return reinterpret_cast<Fn>(face.slot[slot]);
}

#define QUILLET_API extern "C" __attribute__((visibility("default")))

QUILLET_API QelManagerInterface* GetManagerInterface();
using GetManagerInterfaceFn = QelManagerInterface* (*)();
