// Inside the kernel: what a device object keeps beyond its public fields.
#pragma once

#include <atomic>
#include <string>

#include "platform/kernel/device.h"

namespace plat::kernel::detail {

using PropertyRoutine = NtStatus (*)(DeviceObject* device, DeviceProperty property,
                                     std::uint32_t buffer_length, void* buffer,
                                     std::uint32_t* result_length);

struct DeviceDestructor {
  void (*routine)(void* context);
  void* context;
};

}  // namespace plat::kernel::detail

namespace plat::kernel {

struct DeviceInternals {
  std::wstring name;
  std::atomic<int> references{1};  // 1 for existence, dropped by delete_device
  bool deleted = false;
  DeviceObject* attached_to = nullptr;  // the lower device this one sits on
  detail::PropertyRoutine property = nullptr;  // bus devices
  void* bus_context = nullptr;
  void* storage = nullptr;
};

namespace detail {
// Opens a file on device (create request sent); the file holds one reference.
NtStatus open_file_object(DeviceObject* device, const ClientInfo* client, bool by_kernel,
                          FileObject** out);
}  // namespace detail

}  // namespace plat::kernel
