// NT status values that the kernel side answers and the user side translates.
// Shared by the kernel host, its drivers and the device transport's client.
#pragma once

#include <cstdint>

namespace plat {

using NtStatus = std::int32_t;

inline constexpr NtStatus kStatusSuccess = 0x00000000;
inline constexpr NtStatus kStatusPending = 0x00000103;
inline constexpr NtStatus kStatusTimeout = 0x00000102;
inline constexpr NtStatus kStatusBufferOverflow = static_cast<NtStatus>(0x80000005u);
inline constexpr NtStatus kStatusUnsuccessful = static_cast<NtStatus>(0xC0000001u);
inline constexpr NtStatus kStatusNotImplemented = static_cast<NtStatus>(0xC0000002u);
inline constexpr NtStatus kStatusAccessViolation = static_cast<NtStatus>(0xC0000005u);
inline constexpr NtStatus kStatusInvalidHandle = static_cast<NtStatus>(0xC0000008u);
inline constexpr NtStatus kStatusInvalidParameter = static_cast<NtStatus>(0xC000000Du);
inline constexpr NtStatus kStatusNoSuchDevice = static_cast<NtStatus>(0xC000000Eu);
inline constexpr NtStatus kStatusInvalidDeviceRequest = static_cast<NtStatus>(0xC0000010u);
inline constexpr NtStatus kStatusNoMemory = static_cast<NtStatus>(0xC0000017u);
inline constexpr NtStatus kStatusBufferTooSmall = static_cast<NtStatus>(0xC0000023u);
inline constexpr NtStatus kStatusObjectNameNotFound = static_cast<NtStatus>(0xC0000034u);
inline constexpr NtStatus kStatusObjectNameCollision = static_cast<NtStatus>(0xC0000035u);
inline constexpr NtStatus kStatusInsufficientResources = static_cast<NtStatus>(0xC000009Au);
inline constexpr NtStatus kStatusDeviceNotReady = static_cast<NtStatus>(0xC00000A3u);
inline constexpr NtStatus kStatusAdapterHardwareError = static_cast<NtStatus>(0xC00000C2u);
inline constexpr NtStatus kStatusNotSupported = static_cast<NtStatus>(0xC00000BBu);
inline constexpr NtStatus kStatusDeviceBusy = static_cast<NtStatus>(0x80000011u);
inline constexpr NtStatus kStatusCancelled = static_cast<NtStatus>(0xC0000120u);
inline constexpr NtStatus kStatusDeviceNotConnected = static_cast<NtStatus>(0xC000009Du);
inline constexpr NtStatus kStatusDeviceRemoved = static_cast<NtStatus>(0xC00002B6u);

inline constexpr bool nt_success(NtStatus status) { return status >= 0; }

}  // namespace plat
