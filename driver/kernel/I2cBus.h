// The board's I2C bus, driven by hand: the clock and data lines of BAR 0
// register 0x10000, set and read bit by bit with a phase delay after each
// step. Every primitive answers a success flag; a clock that a device keeps
// low fails the step that waits for it, with its log line. The callers run
// these inside the board's interrupt synchronisation (I2cDevice.h).
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

inline constexpr std::uint32_t kYatI2cRegister = 0x10000;
inline constexpr std::uint32_t kYatI2cDataRelease = 0x1;
inline constexpr std::uint32_t kYatI2cClockRelease = 0x2;
inline constexpr std::uint32_t kYatI2cDataLevel = 0x4;
inline constexpr std::uint32_t kYatI2cClockLevel = 0x8;
inline constexpr std::uint32_t kYatI2cKeptBits = 0xFC;  // bits 2..7 as last read

inline constexpr std::uint32_t kYatI2cPhaseDelayNs = 5000;
inline constexpr std::uint32_t kYatI2cPollDelayNs = 10000;
inline constexpr std::uint32_t kYatI2cPollLimit = 10000;
inline constexpr std::uint32_t kYatI2cResetHighPasses = 9;

bool I2C_StartService(YatBoardExtension* board);
bool I2C_StopService(YatBoardExtension* board);
// True when every clock came and the device acknowledged.
bool I2C_OutByte(YatBoardExtension* board, std::uint8_t byte);
bool I2C_InByte(YatBoardExtension* board, std::uint8_t* byte);
bool I2C_AckOut(YatBoardExtension* board);
bool I2C_NoAckOut(YatBoardExtension* board);
// Clocks a device stuck in the middle of a byte free: success once both
// lines were seen high in nine clock pulses.
bool I2C_ResetService(YatBoardExtension* board);
