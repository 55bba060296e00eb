// The driver as the system sees it: entry, add-device, dispatch routines,
// unload, and the life of the control device and its manager extension.
#pragma once

#include "driver/kernel/YatExtensions.h"
#include "platform/kernel/device.h"
#include "platform/kernel/irp.h"

inline constexpr wchar_t kStavroControlDeviceName[] = L"\\Device\\STAVRO";
inline constexpr wchar_t kStavroLinkName[] = L"\\DosDevices\\STAVRO";
// Board devices are this prefix followed by the slot number + 1.
inline constexpr wchar_t kStavroBoardDevicePrefix[] = L"\\Device\\STAVRO";
inline constexpr std::uint16_t kStavroBoardNameBytes = 258;

extern "C" __attribute__((visibility("default"))) plat::NtStatus DriverEntry(
    plat::kernel::DriverObject* driver, const plat::kernel::KernelString* registryPath);

plat::NtStatus AddDevice(plat::kernel::DriverObject* driver, plat::kernel::DeviceObject* physicalDevice);
plat::NtStatus AddNewBoard(YatManagerExtension* manager, plat::kernel::DeviceObject* physicalDevice);
plat::NtStatus CreateDeviceNameString(std::uint32_t number, plat::kernel::KernelString* name);
void FreeDeviceNameString(plat::kernel::KernelString* name);

plat::NtStatus DrvDispatch(plat::kernel::DeviceObject* device, plat::kernel::Irp* irp);
plat::NtStatus DrvDispatchInternal(plat::kernel::DeviceObject* device, plat::kernel::Irp* irp);
plat::NtStatus DrvDispatchPnp(plat::kernel::DeviceObject* device, plat::kernel::Irp* irp);
plat::NtStatus DrvDispatchPower(plat::kernel::DeviceObject* device, plat::kernel::Irp* irp);
plat::NtStatus DrvDispatchSystemControl(plat::kernel::DeviceObject* device, plat::kernel::Irp* irp);
void DrvUnload(plat::kernel::DriverObject* driver);

plat::NtStatus InitManagerExtension(plat::kernel::DeviceObject* controlDevice,
                                    const plat::kernel::KernelString* registryPath);
// Releases what the manager holds and deletes the link and the control device.
void CloseManager(YatManagerExtension* manager);
// The manager extension that serves requests arriving at `device`.
YatManagerExtension* ServingManager(plat::kernel::DeviceObject* device);
