#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/kernel/device_internal.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/objects.h"

namespace plat::kernel {

namespace {

std::mutex& stack_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

constexpr std::size_t kExtensionAlignment = 16;

std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

void free_device_memory(DeviceObject* device) {
  delete device->internals;
  std::free(device);
}

NtStatus invalid_request(DeviceObject*, Irp* irp) {
  irp->io_status.status = kStatusInvalidDeviceRequest;
  irp->io_status.information = 0;
  complete_request(irp, kIoNoIncrement);
  return kStatusInvalidDeviceRequest;
}

}  // namespace

DriverObject* create_driver_object(const wchar_t* name) {
  auto* driver = new DriverObject{};
  for (auto& entry : driver->major_function) entry = invalid_request;
  auto* copy = new wchar_t[std::wcslen(name) + 1];
  std::wcscpy(copy, name);
  init_kernel_string(&driver->name, copy);
  return driver;
}

void free_driver_object(DriverObject* driver) {
  if (driver == nullptr) return;
  delete[] driver->name.buffer;
  delete driver;
}

NtStatus create_device(DriverObject* driver, std::uint32_t extension_size, const KernelString* name,
                       std::uint32_t device_type, std::uint32_t characteristics, bool exclusive,
                       DeviceObject** out) {
  (void)exclusive;
  if (driver == nullptr || out == nullptr) return kStatusInvalidParameter;
  *out = nullptr;
  std::size_t head = round_up(sizeof(DeviceObject), kExtensionAlignment);
  void* memory = std::calloc(1, head + extension_size);
  if (memory == nullptr) return kStatusInsufficientResources;
  auto* device = static_cast<DeviceObject*>(memory);
  device->internals = new (std::nothrow) DeviceInternals;
  if (device->internals == nullptr) {
    std::free(memory);
    return kStatusInsufficientResources;
  }
  device->driver = driver;
  device->extension = extension_size ? static_cast<char*>(memory) + head : nullptr;
  device->device_type = device_type;
  device->characteristics = characteristics;
  device->flags = kDeviceFlagInitializing;
  device->stack_size = 1;
  if (name != nullptr && name->length > 0) {
    device->internals->name = std::wstring(view_of(name));
    NtStatus status = detail::namespace_insert_device(device->internals->name, device);
    if (!nt_success(status)) {
      free_device_memory(device);
      return status;
    }
  }
  {
    std::lock_guard guard(stack_lock());
    device->next_device = driver->device_list;
    driver->device_list = device;
  }
  *out = device;
  return kStatusSuccess;
}

void delete_device(DeviceObject* device) {
  if (device == nullptr) return;
  {
    std::lock_guard guard(stack_lock());
    if (device->internals->deleted) return;
    device->internals->deleted = true;
    DeviceObject** link = &device->driver->device_list;
    while (*link && *link != device) link = &(*link)->next_device;
    if (*link) *link = device->next_device;
    device->next_device = nullptr;
  }
  if (!device->internals->name.empty()) detail::namespace_remove_device(device->internals->name);
  dereference_object(device);
}

void reference_object(DeviceObject* device) {
  if (device) device->internals->references.fetch_add(1);
}

void dereference_object(DeviceObject* device) {
  if (device && device->internals->references.fetch_sub(1) == 1) free_device_memory(device);
}

DeviceObject* attach_device_to_stack(DeviceObject* source, DeviceObject* target) {
  if (source == nullptr || target == nullptr) return nullptr;
  std::lock_guard guard(stack_lock());
  DeviceObject* top = target;
  while (top->attached_device) top = top->attached_device;
  if (top->internals->deleted) return nullptr;
  top->attached_device = source;
  source->internals->attached_to = top;
  source->stack_size = static_cast<std::int8_t>(top->stack_size + 1);
  return top;
}

void detach_device(DeviceObject* lower) {
  if (lower == nullptr) return;
  std::lock_guard guard(stack_lock());
  if (DeviceObject* above = lower->attached_device) {
    above->internals->attached_to = nullptr;
    lower->attached_device = nullptr;
  }
}

DeviceObject* get_attached_device_reference(DeviceObject* device) {
  if (device == nullptr) return nullptr;
  std::lock_guard guard(stack_lock());
  DeviceObject* top = device;
  while (top->attached_device) top = top->attached_device;
  reference_object(top);
  return top;
}

NtStatus get_device_object_pointer(const KernelString* name, std::uint32_t desired_access,
                                   FileObject** file, DeviceObject** device) {
  (void)desired_access;
  if (name == nullptr || file == nullptr || device == nullptr) return kStatusInvalidParameter;
  DeviceObject* named = detail::namespace_find_device(view_of(name));
  if (named == nullptr) return kStatusObjectNameNotFound;
  DeviceObject* top = get_attached_device_reference(named);
  FileObject* opened = nullptr;
  NtStatus status = detail::open_file_object(top, nullptr, true, &opened);
  dereference_object(top);
  if (!nt_success(status)) return status;
  *file = opened;
  *device = opened->device;
  return kStatusSuccess;
}

NtStatus get_device_property(DeviceObject* physical_device, DeviceProperty property,
                             std::uint32_t buffer_length, void* buffer, std::uint32_t* result_length) {
  if (physical_device == nullptr || physical_device->internals->property == nullptr)
    return kStatusInvalidDeviceRequest;
  return physical_device->internals->property(physical_device, property, buffer_length, buffer,
                                              result_length);
}

std::wstring device_name(const DeviceObject* device) {
  return device ? device->internals->name : std::wstring();
}

}  // namespace plat::kernel
