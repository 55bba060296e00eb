#include "firmware/win32/QelUtilPrivilege.h"

#include "firmware/win32/QelUtilTrace.h"
#include "platform/win/errors.h"
#include "platform/win/privileges.h"

bool QelUtilAdjustProcessPrivilege(const char* privilege, bool enable) {
  if (privilege == nullptr) {
    QEL_UTIL_TRACE("QelUtilAdjustProcessPrivilege => Invalid argument (privilege == NULL)");
    return false;
  }
  if (!plat::adjust_process_privilege(privilege, enable)) {
    QEL_UTIL_TRACE("QelUtilAdjustProcessPrivilege => Cannot %s privilege %s (%u), check the local policy",
                   enable ? "enable" : "disable", privilege, plat::last_error());
    return false;
  }
  return true;
}

bool QelUtilAdjustWorkingSet(std::size_t minimum, std::size_t maximum) {
  if (!QelUtilAdjustProcessPrivilege(plat::kSeIncreaseQuotaPrivilege, true)) return false;
  if (!plat::set_process_working_set_size(minimum, maximum)) {
    QEL_UTIL_TRACE("QelUtilAdjustWorkingSet => Cannot set working set (%zu %zu) (%u)", minimum, maximum,
                   plat::last_error());
    return false;
  }
  return true;
}
