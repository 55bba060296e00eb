// The manager interface: the 23-slot table of the library, filled when the
// library loads, and the slots that are more than a call into the board
// library (message delivery, the answer callback, the onboard host server).
#include <atomic>

#include "driver/user/Pardow.h"
#include "firmware/win32/QelExtInterface.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/firmware/HostFirmware.h"

namespace {

constinit QelManagerInterface g_face{};
constinit std::atomic<QelAnswerCallback> g_answerCallback{nullptr};

constexpr QelStatus kNullCount = 54;
constexpr QelStatus kNullVersion = 50;

std::uint32_t Man_GetNBoards(std::uint32_t* count) {
  if (count == nullptr) return kNullCount;
  return TranslateStatus(Yat_Man_GetNbBoard(count));
}

std::uint32_t Man_ResetBoard(std::uint32_t board) { return TranslateStatus(Yat_Man_Board_Reset(board)); }

// The interface gives the size before the buffer; the extended table the other way round.
std::uint32_t Man_Flash_Read(std::uint32_t board, std::uint32_t section, std::uint32_t address, std::uint32_t size,
                             void* buffer) {
  return ExtFlashRead(board, section, address, buffer, size);
}

std::uint32_t Man_Flash_Write(std::uint32_t board, std::uint32_t section, std::uint32_t address, std::uint32_t size,
                              void* buffer) {
  return ExtFlashWrite(board, section, address, buffer, size);
}

std::uint32_t Man_Eeprom_ReadData(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, void* buffer,
                                  std::uint32_t size) {
  return ExtEepromRead(board, eeprom, offset, buffer, size);
}

std::uint32_t Man_Eeprom_WriteData(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, void* buffer,
                                   std::uint32_t size) {
  return ExtEepromWrite(board, eeprom, offset, buffer, size);
}

std::uint32_t Man_SetServerAddress(std::uint32_t address) {
  HostSetServerIndex(address);
  HostSetAddressBase(address);
  return QEL_OK;
}

std::uint32_t Man_GetDriverAbiVersion(std::uint32_t* version) {
  if (version == nullptr) return kNullVersion;
  *version = kManDriverAbiVersion;
  return QEL_OK;
}

std::uint32_t Man_GetRegistryFirmwareKey(std::uint32_t board, std::uint32_t section, std::uint32_t size, char* text) {
  return TranslateStatus(Yat_Man_GetRegistryFirmwareKey(board, section, text, size));
}

std::uint32_t Man_InitInstance(std::uint32_t serverMode) { return HostFirmwareInitInstance(serverMode); }
std::uint32_t Man_CloseInstance() { return HostFirmwareCloseInstance(); }

std::uint32_t Man_Connect(std::uint32_t board, std::uint32_t mode) {
  return TranslateStatus(Yat_Man_Connect(board, mode));
}

std::uint32_t Man_Disconnect(std::uint32_t board, std::uint32_t mode) {
  return TranslateStatus(Yat_Man_Disconnect(board, mode));
}

std::uint32_t Man_GetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                               std::uint32_t size, void* value) {
  return TranslateStatus(Yat_Man_GetDevicePrm(board, section, parameter, size, value));
}

std::uint32_t Man_SetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                               std::uint32_t size, void* value) {
  return TranslateStatus(Yat_Man_SetDevicePrm(board, section, parameter, size, value));
}

template <typename Fn>
void Put(QelManagerInterface& face, QelManagerSlot slot, Fn function) {
  face.slot[slot] = reinterpret_cast<QelManagerEntry>(function);
}

void InstallManagerFunctions(QelManagerInterface& face) {
  Put(face, kManGetNBoards, &Man_GetNBoards);
  Put(face, kManResetBoard, &Man_ResetBoard);
  Put(face, kManFlashRead, &Man_Flash_Read);
  Put(face, kManFlashWrite, &Man_Flash_Write);
  Put(face, kManEepromReadData, &Man_Eeprom_ReadData);
  Put(face, kManEepromWriteData, &Man_Eeprom_WriteData);
  Put(face, kManGetDriverAbiVersion, &Man_GetDriverAbiVersion);
  Put(face, kManGetRegistryFirmwareKey, &Man_GetRegistryFirmwareKey);
  Put(face, kManConnect, &Man_Connect);
  Put(face, kManDisconnect, &Man_Disconnect);
  Put(face, kManGetDevicePrm, &Man_GetDevicePrm);
  Put(face, kManSetDevicePrm, &Man_SetDevicePrm);
  face.slot[6] = nullptr;
  face.slot[19] = nullptr;
  face.slot[20] = nullptr;
}

}  // namespace

QelManagerInterface& QuilletManagerInterface() { return g_face; }

void FillManagerInterface(QelManagerInterface& face) {
  Put(face, kManDeliverMessage, &Man_DeliverMessage);
  Put(face, kManSetServerAddress, &Man_SetServerAddress);
  Put(face, kManSetAnswerCallback, &Man_SetAnswerCallback);
  Put(face, kManInitInstance, &Man_InitInstance);
  Put(face, kManCloseInstance, &Man_CloseInstance);
  face.slot[kManConnect] = nullptr;
  face.slot[kManDisconnect] = nullptr;
  InstallManagerFunctions(face);
}

std::uint32_t Man_DeliverMessage(void* message) {
  auto* delivered = static_cast<QelMessageHeader*>(message);
  if (delivered == nullptr) return kHostMessageRefused;
  if (!ApiLock()) return kDeliveryLockNotHad;
  if (delivered->size < sizeof(QelMessageHeader)) {
    HOSTFREEMSG(delivered);
    ApiUnlock();
    return QEL_OK;
  }
  // The server the message is for is the server this library is now.
  Man_SetServerAddress(delivered->destination);
  // A request is read by its handler, which answers with a message of its own.
  const bool dispatched = (delivered->flags & kQelMsgAnswer) == 0 && HostIsOnThisBoard(delivered->destination);
  const QelStatus status = HOSTSENDANSWER(delivered);
  if (dispatched || status != QEL_OK) HOSTFREEMSG(delivered);
  ApiUnlock();
  return QEL_OK;
}

std::uint32_t Man_SetAnswerCallback(QelAnswerCallback callback) {
  g_answerCallback.store(callback);
  return QEL_OK;
}

QelStatus HostFirmwareSendAnswer(QelMessageHeader* message) {
  const QelAnswerCallback callback = g_answerCallback.load();
  if (callback == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: HostFirmwareSendAnswer => Answer function not registered",
              kQuilletLabel);
    return kNotImplemented;
  }
  return callback(message);
}

QelStatus ManConnectBoard(std::uint32_t board) {
  const auto connect = ManagerSlotAs<ManConnectFn>(g_face, kManConnect);
  return connect != nullptr ? connect(board, 0) : kNotImplemented;
}

QelStatus ManDisconnectBoard(std::uint32_t board) {
  const auto disconnect = ManagerSlotAs<ManConnectFn>(g_face, kManDisconnect);
  return disconnect != nullptr ? disconnect(board, 0) : kNotImplemented;
}
