// Privileges of the process token and its working set.
#pragma once

#include <cstddef>

bool QelUtilAdjustProcessPrivilege(const char* privilege, bool enable);
// Sets the working-set limits after enabling "SeIncreaseQuotaPrivilege".
bool QelUtilAdjustWorkingSet(std::size_t minimum, std::size_t maximum);
