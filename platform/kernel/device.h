// Drivers, devices and file objects: a driver object with its dispatch table,
// add-device and unload routines; devices with their extension allocated with
// them, stacked on lower devices; file objects naming who opened a device.
#pragma once

#include <cstdint>

#include "platform/kernel/dpc.h"
#include "platform/kernel/kstring.h"
#include "platform/kernel/pnp.h"
#include "platform/kernel/transport_server.h"
#include "platform/win/nt_status.h"

namespace plat::kernel {

struct DriverObject;
struct DeviceObject;
struct Irp;

// Major functions (index into the dispatch table).
inline constexpr std::uint8_t kMajorCreate = 0x00;
inline constexpr std::uint8_t kMajorClose = 0x02;
inline constexpr std::uint8_t kMajorRead = 0x03;
inline constexpr std::uint8_t kMajorWrite = 0x04;
inline constexpr std::uint8_t kMajorDeviceControl = 0x0E;
inline constexpr std::uint8_t kMajorInternalDeviceControl = 0x0F;
inline constexpr std::uint8_t kMajorCleanup = 0x12;
inline constexpr std::uint8_t kMajorPower = 0x16;
inline constexpr std::uint8_t kMajorSystemControl = 0x17;
inline constexpr std::uint8_t kMajorPnp = 0x1B;
inline constexpr int kMajorFunctionCount = 0x1C;

using DispatchRoutine = NtStatus (*)(DeviceObject* device, Irp* irp);
using AddDeviceRoutine = NtStatus (*)(DriverObject* driver, DeviceObject* physical_device);
using UnloadRoutine = void (*)(DriverObject* driver);
// The entry point a driver module exports with C linkage as "DriverEntry".
using DriverEntryRoutine = NtStatus (*)(DriverObject* driver, const KernelString* registry_path);

struct DriverObject {
  DeviceObject* device_list;  // newest first: the first device created is the last
  DispatchRoutine major_function[kMajorFunctionCount];
  AddDeviceRoutine add_device;
  UnloadRoutine unload;
  KernelString name;
  void* module;  // the loaded module, null for the host's own drivers
};

// Device types and flags.
inline constexpr std::uint32_t kFileDeviceUnknown = 0x22;
inline constexpr std::uint32_t kFileDeviceBus = 0x2A;
inline constexpr std::uint32_t kDeviceFlagBufferedIo = 0x00000004;
inline constexpr std::uint32_t kDeviceFlagInitializing = 0x00000080;
inline constexpr std::uint32_t kDeviceFlagPowerPageable = 0x00002000;

struct DeviceInternals;

struct DeviceObject {
  DriverObject* driver;
  DeviceObject* next_device;      // the driver's device list
  DeviceObject* attached_device;  // the device stacked directly above, if any
  void* extension;                // zero-filled, allocated with the device
  std::uint32_t device_type;
  std::uint32_t characteristics;
  std::uint32_t flags;
  std::int8_t stack_size;
  Dpc dpc;  // the device's own DPC (for its interrupt routine)
  DeviceInternals* internals;
};

// A device opened by a user process (or by another driver).
struct FileObject {
  DeviceObject* device;
  void* context;   // the driver's value for this open
  void* context2;
  ClientInfo opener;  // process identity, connection and width of who opened it
  bool opened_by_kernel;
  std::int32_t references;  // guarded by the kernel; close is sent at the last one
};

// name may be null (an unnamed device). The device starts with
// kDeviceFlagInitializing, which the driver clears when it is ready.
NtStatus create_device(DriverObject* driver, std::uint32_t extension_size, const KernelString* name,
                       std::uint32_t device_type, std::uint32_t characteristics, bool exclusive,
                       DeviceObject** out);
// Removes the name and the device from its driver's list; the memory stays
// until the last reference (open files) is gone.
void delete_device(DeviceObject* device);

// Stacks source above the top of target's stack; answers the device it now
// sits on (the lower device to pass requests to), null on failure.
DeviceObject* attach_device_to_stack(DeviceObject* source, DeviceObject* target);
// Detaches whatever is stacked directly above lower.
void detach_device(DeviceObject* lower);
// The top of the stack that device belongs to (referenced).
DeviceObject* get_attached_device_reference(DeviceObject* device);

// Opens a named device for another driver: *file is a referenced file object,
// *device the top of its stack. Drop with dereference_object(file).
NtStatus get_device_object_pointer(const KernelString* name, std::uint32_t desired_access,
                                   FileObject** file, DeviceObject** device);
inline constexpr std::uint32_t kFileAllAccess = 0x001F01FF;

void reference_object(DeviceObject* device);
void dereference_object(DeviceObject* device);
void dereference_object(FileObject* file);

// A property of a bus device (physical device object).
NtStatus get_device_property(DeviceObject* physical_device, DeviceProperty property,
                             std::uint32_t buffer_length, void* buffer, std::uint32_t* result_length);

// For the host: a driver object not loaded from a module.
DriverObject* create_driver_object(const wchar_t* name);
void free_driver_object(DriverObject* driver);
// The name of a named device ("\Device\X"), empty for others.
std::wstring device_name(const DeviceObject* device);

}  // namespace plat::kernel
