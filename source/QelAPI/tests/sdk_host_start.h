// Start-up of a helper process that plays the SDK's host on the machine's
// first board: the SDK and the server driver loaded and bound as their load
// hooks do, then this process's server address set. Shared by the helper
// programs of the SDK's tests.
#pragma once

#include "firmware/win32/QelMemBinding.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelHost/QelHost.h"

inline bool StartAsSdkHost() {
  LoadQelLog();
  if (plat::load_library("QelApi.dll") == nullptr || !LoadQelMem("Quillet.DLL")) return false;
  BindApiLocker();
  if (QELMANINITEVENTS() != QEL_OK) return false;
  QelApiInstallDispatch();
  HostSetServerIndex(0x01DE0100);
  HostSetAddressBase(0x01DE0100);
  return true;
}
