#include "driver/user/YatExtendedInterface.h"

#include <algorithm>
#include <cstring>

#include "driver/user/EepromI2c.h"
#include "driver/user/YatFlash.h"

namespace {

QelHwExtendedInterface MakeInterface() {
  QelHwExtendedInterface face{};
  face.eepromGetInfo = Yat_Eeprom_GetInfo;
  face.eepromSetInfo = Yat_Eeprom_SetInfo;
  face.eepromRead = Yat_Eeprom_Read;
  face.eepromWriteData = Yat_Eeprom_WriteData;
  face.flashRead = reinterpret_cast<void*>(&Yat_Flash_Read);
  face.flashWriteVerify = reinterpret_cast<void*>(&Yat_Flash_WriteVerify);
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
