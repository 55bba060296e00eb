#include "driver/user/YatExtendedInterface.h"

#include <algorithm>
#include <cstring>

#include "driver/user/EepromI2c.h"
#include "driver/user/YatFlash.h"

namespace {

// The table's order puts the value before its size; the exports take the size first.
QelHwStatus ReadDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                          std::uint32_t size) {
  return Yat_Man_GetDevicePrm(board, section, parameter, size, value);
}

QelHwStatus WriteDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                           std::uint32_t size) {
  return Yat_Man_SetDevicePrm(board, section, parameter, size, value);
}

QelHwExtendedInterface MakeInterface() {
  QelHwExtendedInterface face{};
  face.eepromGetInfo = Yat_Eeprom_GetInfo;
  face.eepromSetInfo = Yat_Eeprom_SetInfo;
  face.eepromRead = Yat_Eeprom_Read;
  face.eepromWriteData = Yat_Eeprom_WriteData;
  face.flashRead = reinterpret_cast<void*>(&Yat_Flash_Read);
  face.flashWriteVerify = reinterpret_cast<void*>(&Yat_Flash_WriteVerify);
  face.firmwareGetVersionInfo = reinterpret_cast<void*>(&QelHw_X_Firmware_GetVersionInfo);
  face.firmwareGetName = reinterpret_cast<void*>(&QelHw_X_Firmware_GetName);
  face.devicePrmRead = ReadDevicePrm;
  face.devicePrmWrite = WriteDevicePrm;
  return face;
}

}  // namespace

PARDOW_API QelHwStatus QelHw_Man_GetExtendedInterface(void* table, std::uint32_t size) {
  if (table == nullptr) return QELHW_OK;
  std::memset(table, 0, size);
  const QelHwExtendedInterface face = MakeInterface();
  std::memcpy(table, &face, std::min<std::size_t>(size, sizeof face));
  return QELHW_OK;
}
