// The maker's kernel drivers that the system relies on but does not contain,
// as drivers of the kernel host: the log driver and the memory driver.
#pragma once

#include "platform/kernel/device.h"

namespace plat::kernel {

NtStatus qellog_driver_entry(DriverObject* driver, const KernelString* registry_path);
NtStatus qelmem_driver_entry(DriverObject* driver, const KernelString* registry_path);

// Completes create, cleanup and close with success (the outside drivers'
// devices may be opened by anyone).
NtStatus complete_with_success(DeviceObject* device, Irp* irp);
// Creates the one named device of an outside driver.
NtStatus create_outside_device(DriverObject* driver, const wchar_t* name);
// Deletes every device of the driver (its unload routine).
void delete_all_devices(DriverObject* driver);

}  // namespace plat::kernel
