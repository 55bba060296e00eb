// QelStatus: the SDK's 32-bit status word, and the one crossing point from
// board-library statuses into it.
//
//   bits 22-31  module part (0 until a module ORs in its own)
//   bits 20-21  log level used when the status is reported
//   bits  8-19  detail: argument number, parameter index, low bits of a board code
//   bits  0-7   error kind
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

using QelStatus = std::uint32_t;

inline constexpr QelStatus QEL_OK = 0;

// Module parts.
inline constexpr QelStatus kQelModuleAcquisition = 0x00400000;
inline constexpr QelStatus kQelModuleBuffer = 0x00800000;
inline constexpr QelStatus kQelModuleCameraPrm = 0x01000000;
inline constexpr QelStatus kQelModuleLut = 0x02C00000;
inline constexpr QelStatus kQelModuleManager = 0x03000000;
inline constexpr QelStatus kQelModuleVideoInputPrm = 0x04400000;
inline constexpr QelStatus kQelModuleTransfer = 0x04C00000;
inline constexpr QelStatus kQelModulePixelProcessor = 0x05800000;
inline constexpr QelStatus kQelModuleGio = 0x06400000;
inline constexpr QelStatus kQelModuleSerial = 0x07800000;

// Error kinds used across the server driver.
inline constexpr QelStatus kQelKindInvalidHandle = 0x01;
inline constexpr QelStatus kQelKindOutOfRange = 0x2A;
inline constexpr QelStatus kQelKindNullPointer = 0x36;
inline constexpr QelStatus kQelKindNotSupported = 0x46;
inline constexpr QelStatus kQelKindOutOfMemory = 0x47;
inline constexpr QelStatus kQelKindGeneral = 86;  // 0x56

// Field helpers.
constexpr QelStatus QelStatusKind(QelStatus status) { return status & 0xFFu; }
constexpr QelStatus QelStatusDetail(QelStatus status) { return (status >> 8) & 0xFFFu; }
constexpr std::uint32_t QelStatusLevel(QelStatus status) { return (status >> 20) & 0x3u; }
constexpr QelStatus QelStatusMake(QelStatus detail, QelStatus kind) {
  return ((detail & 0xFFFu) << 8) | (kind & 0xFFu);
}

// A board status as the SDK sees it, without module bits.
QelStatus TranslateStatus(QelHwStatus status);
