#include "platform/win/privileges.h"

#include <strings.h>
#include <unistd.h>

#include <array>
#include <bitset>
#include <mutex>

#include "platform/win/errors.h"

namespace plat {
namespace {

constexpr std::array kKnownPrivileges = {kSeLockMemoryPrivilege, kSeIncreaseQuotaPrivilege, kSeDebugPrivilege,
                                         kSeShutdownPrivilege, kSeLoadDriverPrivilege};

// The token's state. Each module keeps its own copy of the platform, and with
// it its own view of the token; the system's code enables a privilege in the
// same module that then uses it.
struct TokenState {
  std::mutex guard;
  std::bitset<kKnownPrivileges.size()> enabled;
  std::size_t working_set_minimum = 200 * 4096;
  std::size_t working_set_maximum = 1380 * 4096;
};

TokenState& token() {
  static TokenState state;
  return state;
}

int privilege_index(const char* name) {
  if (name == nullptr) return -1;
  for (std::size_t index = 0; index < kKnownPrivileges.size(); ++index)
    if (::strcasecmp(kKnownPrivileges[index], name) == 0) return static_cast<int>(index);
  return -1;
}

std::size_t machine_memory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && page_size > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(page_size)
                                    : ~std::size_t{0};
}

}  // namespace

bool adjust_process_privilege(const char* name, bool enable) {
  const int index = privilege_index(name);
  if (index < 0) {
    set_last_error(kErrorNoSuchPrivilege);
    return false;
  }
  std::lock_guard lock(token().guard);
  token().enabled.set(static_cast<std::size_t>(index), enable);
  set_last_error(kErrorSuccess);
  return true;
}

bool is_process_privilege_enabled(const char* name) {
  const int index = privilege_index(name);
  if (index < 0) return false;
  std::lock_guard lock(token().guard);
  return token().enabled.test(static_cast<std::size_t>(index));
}

bool set_process_working_set_size(std::size_t minimum, std::size_t maximum) {
  if (minimum == 0 || maximum == 0 || minimum > maximum || maximum > machine_memory()) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  if (!is_process_privilege_enabled(kSeIncreaseQuotaPrivilege)) {
    set_last_error(kErrorPrivilegeNotHeld);
    return false;
  }
  std::lock_guard lock(token().guard);
  token().working_set_minimum = minimum;
  token().working_set_maximum = maximum;
  return true;
}

bool get_process_working_set_size(std::size_t* minimum, std::size_t* maximum) {
  if (minimum == nullptr || maximum == nullptr) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  std::lock_guard lock(token().guard);
  *minimum = token().working_set_minimum;
  *maximum = token().working_set_maximum;
  return true;
}

}  // namespace plat
