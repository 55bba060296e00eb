// The board EEPROM at start-up and at a reload: the bus reset first, then the
// image into the board extension.
#include "driver/kernel/BoardControl.h"
#include "driver/kernel/I2cDevice.h"

QelHwStatus YatStartupReadEeprom(YatBoardExtension* board) {
  if (!Yat_Eeprom_ResetK(board)) return QELHW_ERROR_I2C_READ;
  return Yat_EepromInit(board);
}

QelHwStatus YatReadEepromImage(YatBoardExtension* board) { return Yat_EepromInit(board); }
