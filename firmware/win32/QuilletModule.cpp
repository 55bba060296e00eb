#include "firmware/win32/QuilletModule.h"

namespace {
plat::ModuleHandle g_module = nullptr;
}

void QuilletSetModuleHandle(plat::ModuleHandle module) { g_module = module; }

plat::ModuleHandle QuilletGetModuleHandle() { return g_module; }
