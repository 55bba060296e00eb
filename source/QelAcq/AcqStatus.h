// The kinds of a parameter refusal, beside the server driver's status word.
// A refusal detail is QelStatusMake(index, kind): the parameter's index (or,
// for kind 0x1E, the capability's) in bits 8 to 19, the kind in bits 0 to 7;
// the caller adds the module part.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

inline constexpr std::uint32_t kAcqKindCapNotInitialised = 0x1E;
inline constexpr std::uint32_t kAcqKindPrmNotDefined = 0x28;
inline constexpr std::uint32_t kAcqKindNotAvailable = 0x29;
inline constexpr std::uint32_t kAcqKindNotSupported = 0x2B;
inline constexpr std::uint32_t kAcqKindConflict = 0x2D;
