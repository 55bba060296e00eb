// Binding of the display support library "Dorv.DLL": buffers in display
// memory. The buffer module attaches it once per process on the first display
// buffer, then calls the functions the library put into the interface record;
// this binding checks the display and the library's interface version and
// translates formats, memory types and the library's codes.
#pragma once

#include <cstdint>

#include "platform/support/dorv_entries.h"

// Statuses of the attach (besides a translated registration failure, which
// carries kDorvRegistrationFailed).
inline constexpr std::uint32_t kDorvNoDisplay = 5220;
inline constexpr std::uint32_t kDorvCannotLoad = 5196;
inline constexpr std::uint32_t kDorvNoRegistration = 5195;
inline constexpr std::uint32_t kDorvIncompatibleVersion = 5206;
inline constexpr std::uint32_t kDorvRegistrationFailed = 0x1400;

// 0 when attached (the attach count of the process rises), else a status
// above; a failed attach releases what it took.
std::uint32_t DorvAttach(dorv::DorvInterface* record);
// One release per attach; the last one ends the registration.
std::uint32_t DorvDetach(dorv::DorvInterface* record);
std::uint32_t DorvAttachCount();

std::uint32_t DorvFormatFromDataFormat(std::uint32_t format);
std::uint32_t DorvMemTypeFromBufferType(std::uint32_t flags);
// The status kind of a display library code; the caller adds its module part.
std::uint32_t DorvTranslateStatus(std::uint32_t code);
