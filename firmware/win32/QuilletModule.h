// The library's own module handle, recorded when it is loaded (its file name
// and folder are found from it).
#pragma once

#include "platform/win/library.h"

void QuilletSetModuleHandle(plat::ModuleHandle module);
plat::ModuleHandle QuilletGetModuleHandle();
