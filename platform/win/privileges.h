// Privileges of the calling process's token and its working-set limits.
// Every process of the machine holds the privileges the system's programs ask
// for; they are enabled and disabled per process. A name the machine does not
// know fails with kErrorNoSuchPrivilege.
#pragma once

#include <cstddef>

namespace plat {

inline constexpr const char* kSeLockMemoryPrivilege = "SeLockMemoryPrivilege";
inline constexpr const char* kSeIncreaseQuotaPrivilege = "SeIncreaseQuotaPrivilege";
inline constexpr const char* kSeDebugPrivilege = "SeDebugPrivilege";
inline constexpr const char* kSeShutdownPrivilege = "SeShutdownPrivilege";
inline constexpr const char* kSeLoadDriverPrivilege = "SeLoadDriverPrivilege";

// Enables or disables a privilege (names compare case-insensitively).
bool adjust_process_privilege(const char* name, bool enable);
bool is_process_privilege_enabled(const char* name);

// Working-set limits: both non-zero, the minimum not above the maximum, the
// maximum within the machine's memory; changing them needs the quota privilege
// (kErrorPrivilegeNotHeld without it).
bool set_process_working_set_size(std::size_t minimum, std::size_t maximum);
bool get_process_working_set_size(std::size_t* minimum, std::size_t* maximum);

}  // namespace plat
