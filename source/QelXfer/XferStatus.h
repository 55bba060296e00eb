// Statuses of the transfer module: 0x4C00000 | (detail << 8) | kind.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

inline constexpr QelStatus kXferModule = kQelModuleTransfer;

constexpr QelStatus XferStatus(std::uint32_t detail, std::uint32_t kind) {
  return kXferModule | ((detail & 0xFFFu) << 8) | (kind & 0xFFu);
}
// A status from the back end or another module, with the transfer module's bits.
constexpr QelStatus XferWithModule(QelStatus status) { return status == QEL_OK ? QEL_OK : status | kXferModule; }

// Kinds.
inline constexpr std::uint32_t kXferKindCapUnknown = 0x1E;
inline constexpr std::uint32_t kXferKindNoGroup = 0x1F;
inline constexpr std::uint32_t kXferKindPrmUnknown = 0x28;
inline constexpr std::uint32_t kXferKindPrmNotAvailable = 0x29;
inline constexpr std::uint32_t kXferKindOutOfRange = 0x2B;
inline constexpr std::uint32_t kXferKindReadOnly = 0x2C;
inline constexpr std::uint32_t kXferKindConflict = 0x2D;
inline constexpr std::uint32_t kXferKindEmptyArgument = 0x32;
inline constexpr std::uint32_t kXferKindBadArgument = 0x35;
inline constexpr std::uint32_t kXferKindNullArgument = 0x36;

inline constexpr QelStatus kXferBadHandle = 0x4C01301;
inline constexpr QelStatus kXferNoMemory = 71;
inline constexpr QelStatus kXferOutOfMemory = 0x4C00047;
inline constexpr QelStatus kXferEventNotSupported = 0x4C0004C;
inline constexpr QelStatus kXferKindNotSupported = 0x4C0004D;  // source or combination not supported
inline constexpr QelStatus kXferKindNotValid = 0x4C0004E;      // kind not valid / not connectable
inline constexpr QelStatus kXferPlaceTaken = 0x4C0004F;        // place or stage already taken
inline constexpr QelStatus kXferRegionIncompatible = 0x4C00050;
inline constexpr QelStatus kXferNotABuffer = 0x4C00052;
inline constexpr QelStatus kXferInUse = 0x4C00054;             // connected, or a callback registered
inline constexpr QelStatus kXferResource = 0x4C00056;          // event or thread resource
inline constexpr QelStatus kXferNotConnected = 0x4C00058;
inline constexpr QelStatus kXferNotCompatible = 0x4C0005A;
inline constexpr QelStatus kXferNoPair = 0x4C0005B;
inline constexpr QelStatus kXferTimeout = 0x4C00062;
inline constexpr QelStatus kXferAlignment = 0x4C00063;
inline constexpr QelStatus kXferPlanes = 0x4C00035;
inline constexpr QelStatus kXferMemoryNotUsable = 0x4C0010B;
inline constexpr QelStatus kXferNotSupported = 0x4C00046;
inline constexpr QelStatus kXferGeneral = 86;
