// Board services that the start-up, the interrupt routine and the section-0
// requests call on, owned by the EEPROM, flash, FPGA, serial-port and
// message parts of the driver. Until those parts are in, each answers
// QELHW_ERROR_NOT_IMPLEMENTED (or does nothing) and its caller goes on as it
// does when the service fails.
#pragma once

#include "driver/kernel/YatExtensions.h"

// Start-up: resets the main EEPROM and reads its first page into the board extension.
QelHwStatus YatStartupReadEeprom(YatBoardExtension* board);
QelHwStatus YatReadEepromImage(YatBoardExtension* board);
// Start-up: the flash identification into board->flashId.
QelHwStatus YatStartupReadFlashId(YatBoardExtension* board);
// Stops acquisition and transfer activity on the board.
void YatStopBoardActivity(YatBoardExtension* board);
QelHwStatus YatResetFpga(YatBoardExtension* board);
// Reloads the FPGA from flash; *accessAllowed tells whether register access may resume.
QelHwStatus YatReloadFromFlash(YatBoardExtension* board, std::uint32_t argument, bool* accessAllowed);
// What processes hold on the board in host memory: every transfer on it,
// whichever process built it, is freed (host pages unlocked, state-word
// mappings undone, descriptor buckets returned) before the board goes.
void YatReleaseBoardMemory(YatBoardExtension* board);
QelHwStatus CreateSerialPorts(YatBoardExtension* board);
QelHwStatus YatRemoveSerialPorts(YatBoardExtension* board);
// From the interrupt routine: the serial ports' status (main status bit 0).
void YatSerialIsr(YatBoardExtension* board);
