#include "driver/kernel/KernelServices.h"
#include "driver/kernel/StavroLog.h"

using namespace plat::kernel;
using plat::NtStatus;

NtStatus MapBuffer(std::uint64_t physical, std::uint64_t length, std::uint64_t* userAddress,
                   std::uint64_t* mappedLength) {
  if (userAddress == nullptr || mappedLength == nullptr) return plat::kStatusInvalidParameter;
  *userAddress = 0;
  if (length == 0) {
    STAVRO_LOG(kLogError, "%s: MAPBUFFER => mappedLength.QuadPart == 0");
    return plat::kStatusUnsuccessful;
  }
  *mappedLength = length;
  NtStatus status = map_physical_into_caller(physical, length, userAddress);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: MAPBUFFER => ZwMapViewOfSection failed ,ntstatus=0x%08X", static_cast<unsigned>(status));
    *userAddress = 0;
  }
  return status;
}

NtStatus UnmapBuffer(std::uint64_t userAddress) {
  NtStatus status = unmap_from_caller(userAddress);
  if (!plat::nt_success(status)) STAVRO_LOG(kLogError, "%s: UNMAPBUFFER => Unable to unmap buffer");
  return status;
}
