// Acquisition commands 4000-4029: the 30-entry handler table, registered at
// module start and freed at module end. Each handler reads its fields from
// the request (never past its end; a short request is refused with kind 0x32
// and the number of the first missing argument), finds the request's object
// among this process's device handles and monitor handles (0x408C01 for any
// other pointer), calls the operation with the API lock released and answers
// with the operation's status in word 7.
#pragma once

#include "source/QelAPI/QelApi.h"

inline constexpr std::uint32_t kAcqFirstCommand = 4000;
inline constexpr std::uint32_t kAcqLastCommand = 4029;
// The largest value or private output an answer carries.
inline constexpr std::uint32_t kAcqLargestAnswer = 64 * 1024;

QelStatus AcqServerInit();
QelStatus AcqServerFree();
