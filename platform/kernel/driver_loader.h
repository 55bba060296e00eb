// Loading and unloading of drivers: modules from the machine's system
// directory (a shared object exporting "DriverEntry") and the host's own
// drivers given by their entry routine.
#pragma once

#include <string>

#include "platform/kernel/device.h"

namespace plat::kernel {

struct LoadedDriver {
  DriverObject* driver = nullptr;
  void* module = nullptr;  // dlopen handle, null for the host's own drivers
  std::string file_name;
};

// Finds file_name (case-insensitively) in the system directory, loads it and
// runs its DriverEntry. On failure *error tells why; nothing stays loaded.
NtStatus load_driver_module(const std::string& file_name, LoadedDriver* out, std::string* error);
NtStatus start_host_driver(const wchar_t* name, DriverEntryRoutine entry, LoadedDriver* out);
// Runs the unload routine, deletes devices left behind, logs pool blocks the
// module did not free, and unloads the module.
void unload_driver(LoadedDriver* loaded);

}  // namespace plat::kernel
