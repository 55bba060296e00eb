// Devices of the kernel host, opened by their user-mode names ("\\.\STAVRO").
//
// A process keeps one connection to the kernel host, made at its first open
// and shared by all its open devices; the host sees each open as one file and
// each close as one close. The connection ends when the process closes its
// last device handle (or dies): the host then cleans up after it. The
// simulated physical memory the host hands over at connect stays mapped for
// the life of the process, so addresses the driver gave out remain valid.
#pragma once

#include <cstdint>

#include "platform/win/objects.h"

namespace plat {

// Device handles have this bit set (kernel-object handles never do).
inline constexpr Handle kDeviceHandleBit = kFirstDeviceHandle;

// kNullHandle on failure with the last error: kErrorFileNotFound when the
// name is not a device name, no kernel host runs, or the host has no such
// device; otherwise the error of the host's answer.
Handle open_device(const char* name);

// Buffered device control. On success (true) *bytes_returned holds the number
// of output bytes the driver produced, copied into `out`; the rest of `out` is
// left as it was. On failure (false) the last error tells why:
// kErrorInvalidParameter, kErrorInsufficientBuffer, kErrorInvalidFunction,
// kErrorMoreData (a warning: its bytes are copied and counted),
// kErrorInvalidHandle, kErrorGenFailure (also: the host went away). Records
// bigger than 1 MiB are refused with kErrorInvalidParameter.
bool device_io_control(Handle device, std::uint32_t code, const void* in, std::uint32_t in_size,
                       void* out, std::uint32_t out_size, std::uint32_t* bytes_returned);

// Closes a device handle (close_handle does the same for handles with kDeviceHandleBit).
bool close_device(Handle device);

// Makes this process a 32-bit caller (for tests of the 32-bit record forms);
// applies to every request sent from then on.
void set_device_caller_width(bool is_32bit);

}  // namespace plat
