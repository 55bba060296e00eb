#include "driver/kernel/StatusConversion.h"

// Statuses without a row of their own (success values other than 0 included)
// become the generic error: a caller can only act on the ones it knows.
QelHwStatus NtStatusToHwStatus(plat::NtStatus status) {
  switch (status) {
    case plat::kStatusSuccess: return QELHW_OK;
    case plat::kStatusUnsuccessful: return QELHW_ERROR_GENERIC;
    case plat::kStatusNotImplemented: return QELHW_ERROR_NOT_IMPLEMENTED;
    case plat::kStatusInvalidParameter: return QELHW_ERROR_ARG_INVALID;
    case plat::kStatusNoMemory: return QELHW_ERROR_INSUFFICIENT_MEMORY;
    case kStatusAdapterHardwareError: return QELHW_ERROR_DEVICE_NOT_RESPONDING;
    default: return QELHW_ERROR_GENERIC;
  }
}

plat::NtStatus HwStatusToNtStatus(QelHwStatus status) {
  switch (status) {
    case QELHW_OK: return plat::kStatusSuccess;
    case QELHW_ERROR_DEVICE_NOT_RESPONDING: return kStatusAdapterHardwareError;
    case QELHW_ERROR_INSUFFICIENT_MEMORY: return plat::kStatusNoMemory;
    case QELHW_ERROR_NOT_IMPLEMENTED: return plat::kStatusNotImplemented;
    case QELHW_ERROR_ARG_INVALID: return plat::kStatusInvalidParameter;
    default: return plat::kStatusUnsuccessful;
  }
}
