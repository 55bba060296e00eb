#include "platform/kernel/outside_drivers.h"

#include <cstring>

#include "platform/kernel/irp.h"

namespace plat::kernel {

NtStatus complete_with_success(DeviceObject*, Irp* irp) {
  irp->io_status.status = kStatusSuccess;
  irp->io_status.information = 0;
  complete_request(irp, kIoNoIncrement);
  return kStatusSuccess;
}

NtStatus create_outside_device(DriverObject* driver, const wchar_t* name) {
  KernelString device_name;
  init_kernel_string(&device_name, name);
  DeviceObject* device = nullptr;
  NtStatus status = create_device(driver, 0, &device_name, kFileDeviceUnknown, 0, false, &device);
  if (!nt_success(status)) return status;
  device->flags |= kDeviceFlagBufferedIo;
  device->flags &= ~kDeviceFlagInitializing;
  driver->major_function[kMajorCreate] = complete_with_success;
  driver->major_function[kMajorCleanup] = complete_with_success;
  driver->major_function[kMajorClose] = complete_with_success;
  driver->unload = delete_all_devices;
  return kStatusSuccess;
}

void delete_all_devices(DriverObject* driver) {
  while (driver->device_list) delete_device(driver->device_list);
}

NtStatus complete_interface_request(Irp* irp, std::uint32_t code, const void* record, std::uint32_t size) {
  const auto& p = get_current_stack_location(irp)->parameters.device_io_control;
  NtStatus status = kStatusInvalidDeviceRequest;
  irp->io_status.information = 0;
  if (p.io_control_code == code) {
    if (p.output_buffer_length < size || irp->system_buffer == nullptr) {
      status = kStatusBufferTooSmall;
    } else {
      std::memcpy(irp->system_buffer, record, size);
      irp->io_status.information = size;
      status = kStatusSuccess;
    }
  }
  irp->io_status.status = status;
  complete_request(irp, kIoNoIncrement);
  return status;
}

}  // namespace plat::kernel
