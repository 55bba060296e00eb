// The library's entry: its load and unload hook and its one export.
#include "firmware/win32/QelManagerInterface.h"
#include "firmware/win32/QuilletModule.h"
#include "firmware/win32/QuilletShared.h"
#include "platform/win/library.h"
#include "source/QelAPI/QelApi.h"
#include "source/firmware/HostFirmware.h"

namespace {

// Runs while the library's static objects (the platform's among them) are
// still being built, so it touches only what is constant-initialised: the
// module handle, the table and the host layer's dispatch hook. Nothing of the
// instance is opened or closed here.
bool QuilletModuleEntry(plat::ModuleHandle self, plat::ModuleEvent event) {
  if (event == plat::ModuleEvent::kProcessAttach) {
    QuilletSetModuleHandle(self);
    FillManagerInterface(QuilletManagerInterface());
    QelApiInstallDispatch();
  } else {
    QelManFreeThreadErrors();
  }
  return true;
}

}  // namespace

PLAT_MODULE_ENTRY(QuilletModuleEntry)

QUILLET_API QelManagerInterface* GetManagerInterface() {
  // The shared section is held from the first use of the library on: its
  // loader takes the interface first.
  QuilletGetSharedData();
  return &QuilletManagerInterface();
}
