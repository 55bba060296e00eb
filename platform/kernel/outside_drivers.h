// The maker's kernel drivers that the system relies on but does not contain,
// as drivers of the kernel host: the log driver and the memory driver.
#pragma once

#include <cstdint>

#include "platform/kernel/device.h"

namespace plat::kernel {

NtStatus qellog_driver_entry(DriverObject* driver, const KernelString* registry_path);
NtStatus qelmem_driver_entry(DriverObject* driver, const KernelString* registry_path);
// The memory driver's user-mode device (qelmem_user.h): its create, close and
// device-control dispatch and its user-mode name.
NtStatus qelmem_user_device_start(DriverObject* driver);
// Buffers the memory driver holds locked for DMA (its scatter-gather locks
// not yet unlocked), for tests that look for locks left behind.
std::uint32_t qelmem_locked_buffer_count();

// Completes create, cleanup and close with success (the outside drivers'
// devices may be opened by anyone).
NtStatus complete_with_success(DeviceObject* device, Irp* irp);
// Creates the one named device of an outside driver.
NtStatus create_outside_device(DriverObject* driver, const wchar_t* name);
// Deletes every device of the driver (its unload routine).
void delete_all_devices(DriverObject* driver);
// Answers and completes an internal request of a driver whose one request
// hands out an interface record: the record is copied when the code is
// `code` and the output holds it.
NtStatus complete_interface_request(Irp* irp, std::uint32_t code, const void* record, std::uint32_t size);

}  // namespace plat::kernel
