// Rebuilding a board's register map after an FPGA load, and the reload of
// the FPGA from flash that keeps the board's PCI configuration.
#pragma once

#include "driver/kernel/YatExtensions.h"

QelHwStatus YatRebuildRegisterMap(YatBoardExtension* board);
// Mode 2 reloads; any other mode only reads the EEPROM image again.
QelHwStatus YatReloadBoard(YatBoardExtension* board, std::uint32_t mode, std::uint32_t argument);
