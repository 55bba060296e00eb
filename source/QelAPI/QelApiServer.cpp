// Server queries of the API core: this library serves its own boards only,
// with no address offset, no server memory and no server class of its own.
#include "firmware/win32/QelUtilCpu.h"
#include "source/QelAPI/QelApi.h"

const QelHandle* GetLocalServerHandle() { return HostGetLocalServerHandle(); }

QelStatus GetServerAddressOffset(std::uint32_t* first, std::uint32_t* second) {
  if (first != nullptr) *first = 0;
  if (second != nullptr) *second = 0;
  return QEL_OK;
}

QelStatus GetServerMemoryInfo(std::uint32_t* first, std::uint32_t* second, std::uint32_t* third) {
  for (std::uint32_t* out : {first, second, third})
    if (out != nullptr) *out = 0;
  return QEL_OK;
}

QelStatus GetServerClass(std::uint32_t* serverClass) {
  static std::uint32_t processClass = 0;
  if (serverClass != nullptr) *serverClass = processClass;
  return QEL_OK;
}

std::uint32_t IsServerKnown(const QelHandle*) { return 1; }

bool ApiSysHasMmx() { return SysHasMmx(); }
