// Between the kernel's NT statuses and the board statuses the driver answers.
#pragma once

#include "driver/user/QelHwStatus.h"
#include "platform/win/nt_status.h"

// Not among the shared constants yet; the hardware-error answer of an adapter.
inline constexpr plat::NtStatus kStatusAdapterHardwareError = static_cast<plat::NtStatus>(0xC00000C2u);

QelHwStatus NtStatusToHwStatus(plat::NtStatus status);
plat::NtStatus HwStatusToNtStatus(QelHwStatus status);
