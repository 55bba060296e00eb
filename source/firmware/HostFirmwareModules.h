// What the instance needs of the SDK modules it installs: each module offers
// these entries, and the instance calls them from its installation and
// release steps (HostFirmwareInstall.cpp) in a fixed order. A module that is
// not built yet leaves its steps empty; when it is, it defines its entries
// and fills its steps.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelApi.h"

// Manager commands 1000-1018 (source/firmware/ManServer.h).
QelStatus ManServerInit(HostFuncHandler** token);

// Acquisition module.
QelStatus AcqModuleInit();
QelStatus AcqModuleFree();
QelStatus acqReleaseAllBoardDevices();
QelStatus AcqMonitorFree();

// Buffer commands 9000-9037 and the board's own handlers of 9000 and 9001.
QelStatus InstallBufferCommands(HostFuncHandler** token);
QelStatus InstallBoardBufferHandlers(HostFuncHandler* bufferCommands);
QelStatus UninstallBoardBufferHandlers();

// Transfer commands 16000-16021 and the transfer module.
QelStatus XferServerInit(HostFuncHandler** token);
QelStatus XferInit(std::uint32_t boardCount);
QelStatus XferFree();

// Serial-port commands 27000-27011 and module: the registration fills the
// 12-entry table; the module binds the board's serial table and counts its
// users in the shared section.
QelStatus SerialServerInit(HostFuncHandler** token);
QelStatus SerialInit();
QelStatus SerialFree();
QelStatus SerialServerFree(HostFuncHandler** token);

// General I/O commands 21000-21014 and module: brings up unit types 0 and 1
// of every board, releases this process's units.
QelStatus GioInstallCommands(HostFuncHandler** token);
QelStatus GioInitAll(std::uint32_t boardCount);
QelStatus GioReleaseAll();
QelStatus GioUninstallCommands(HostFuncHandler** token);

// Onboard pixel-processor commands 19000-19033 and module (nothing
// unregisters them at close).
QelStatus InstallPixProCommands(HostFuncHandler** token);
QelStatus PixProInit(std::uint32_t boardCount);

// Lookup-table commands 13000-13032.
QelStatus LutInstallCommands(HostFuncHandler** token);
