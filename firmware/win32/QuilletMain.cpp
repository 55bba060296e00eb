// The library's entry: its load and unload hook and its one export.
#include "firmware/win32/QelManagerInterface.h"
#include "firmware/win32/QuilletModule.h"
#include "firmware/win32/QuilletShared.h"
#include "platform/win/library.h"

namespace {

// Filled when the library loads and never changed afterwards.
QelManagerInterface g_managerInterface{};

// Runs while the library's static objects (the platform's among them) are
// still being built, so it only records the module.
bool QuilletModuleEntry(plat::ModuleHandle self, plat::ModuleEvent event) {
  if (event == plat::ModuleEvent::kProcessAttach) QuilletSetModuleHandle(self);
  return true;
}

}  // namespace

PLAT_MODULE_ENTRY(QuilletModuleEntry)

QUILLET_API QelManagerInterface* GetManagerInterface() {
  // The shared section is held from the first use of the library on: its
  // loader takes the interface first.
  QuilletGetSharedData();
  return &g_managerInterface;
}
