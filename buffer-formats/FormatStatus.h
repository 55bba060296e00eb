// Statuses of the pixel-format operations. A status names the argument it
// refuses in bits 8-19 (the descriptor is argument 1) and the kind of fault in
// bits 0-7; handlers return it with the buffer module's bits already set, so
// the dispatcher's OR leaves it as it is.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kFmtOk = 0;
inline constexpr std::uint32_t kFmtModuleBits = 0x00800000;

inline constexpr std::uint32_t kFmtKindMismatch = 0x0B;     // buffers that do not fit together
inline constexpr std::uint32_t kFmtKindOutOfRange = 0x33;   // position, offset or memory size
inline constexpr std::uint32_t kFmtKindTooSmall = 0x35;     // rectangle below 2 x 2
inline constexpr std::uint32_t kFmtKindNoMemory = 0x36;     // a pointer argument is missing
inline constexpr std::uint32_t kFmtKindNotImplemented = 0x46;

constexpr std::uint32_t FmtStatus(std::uint32_t argument, std::uint32_t kind) {
  return kFmtModuleBits | (argument << 8) | kind;
}

inline constexpr std::uint32_t kFmtNotImplemented = FmtStatus(0, kFmtKindNotImplemented);  // 0x800046
inline constexpr std::uint32_t kFmtMismatch = FmtStatus(0, kFmtKindMismatch);              // 0x80000b
