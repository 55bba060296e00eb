// Between the kernel's NT statuses and the board statuses the driver answers.
#pragma once

#include "driver/user/QelHwStatus.h"
#include "platform/win/nt_status.h"

using plat::kStatusAdapterHardwareError;

QelHwStatus NtStatusToHwStatus(plat::NtStatus status);
plat::NtStatus HwStatusToNtStatus(QelHwStatus status);
