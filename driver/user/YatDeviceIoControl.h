// The one way the board library talks to the kernel driver: a buffered I/O
// control on the control device this process opened.
#pragma once

#include <cstdint>

#include "driver/kernel/YatIoctl.h"

// Send the input as the caller built it (driver-wide requests, no input).
inline constexpr std::uint32_t YAT_IOC_SEND_AS_IS = 1;
// Stamp the request header with target 1 and the board index first.
inline constexpr std::uint32_t YAT_IOC_STAMP_BOARD = 2;

// Written into the status word before sending, so an answer that never wrote
// it reads as a failure.
inline constexpr std::int32_t YAT_IOC_STATUS_PRESET = static_cast<std::int32_t>(0xC000001Cu);

// Nonzero when the request was sent and completed. A stamped request for
// board 16 or more is refused (logged) and not sent. `overlapped` is unused.
int YatDeviceIoControl(std::uint32_t board, std::uint32_t code, void* input,
                       std::uint32_t inputSize, void* output, std::uint32_t outputSize,
                       std::uint32_t* bytesReturned, void* overlapped, std::uint32_t flags);
