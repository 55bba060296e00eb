// Transfer commands 16000-16021: the 22-entry handler table (16016 and
// 16017 have no handler; 16018 is the null command).
#pragma once

#include "source/QelAPI/QelApi.h"

// Registers the table for the range; the token is kept for XferServerFree.
QelStatus XferServerInit(HostFuncHandler** token);
// Frees the kept registration, if any; 0.
QelStatus XferServerFree();
