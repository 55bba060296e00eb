#include <cstring>

#include "driver/kernel/IocSections.h"
#include "driver/kernel/OutsideDrivers.h"
#include "driver/kernel/StavroDriver.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/MessageQueues.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/Timing.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/objects.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

NtStatus CreateControlDevice(DriverObject* driver, DeviceObject** device) {
  KernelString name{};
  init_kernel_string(&name, kStavroControlDeviceName);
  NtStatus status = create_device(driver, sizeof(YatManagerExtension), &name, kFileDeviceUnknown, 0, false, device);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: DRIVERENTRY => IoCreateDevice failed [0x%08lx]", static_cast<unsigned long>(status));
  }
  return status;
}

NtStatus CreateControlLink() {
  KernelString link{}, target{};
  init_kernel_string(&link, kStavroLinkName);
  init_kernel_string(&target, kStavroControlDeviceName);
  NtStatus status = create_symbolic_link(&link, &target);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: DRIVERENTRY => IoCreateSymbolicLink failed [0x%08lx]",
               static_cast<unsigned long>(status));
  }
  return status;
}

void DeleteControlLink() {
  KernelString link{};
  init_kernel_string(&link, kStavroLinkName);
  delete_symbolic_link(&link);
}

NtStatus CopyRegistryPath(YatManagerExtension* manager, const KernelString* registryPath) {
  std::uint16_t length = registryPath ? registryPath->length : 0;
  auto* copy = static_cast<wchar_t*>(allocate_pool(PoolType::kPaged, length + 2u, kTagRegistry));
  if (copy == nullptr) {
    STAVRO_LOG(kLogError, "%s: INITMANAGEREXTENSION => Unable to allocate registry");
    return plat::kStatusInsufficientResources;
  }
  std::memset(copy, 0, length + 2u);
  if (length > 0) std::memcpy(copy, registryPath->buffer, length);
  manager->registryPath = {length, static_cast<std::uint16_t>(length + 2u), copy};
  return plat::kStatusSuccess;
}

void FillDispatchTable(DriverObject* driver) {
  driver->major_function[kMajorCreate] = DrvDispatch;
  driver->major_function[kMajorClose] = DrvDispatch;
  driver->major_function[kMajorDeviceControl] = DrvDispatch;
  driver->major_function[kMajorInternalDeviceControl] = DrvDispatchInternal;
  driver->major_function[kMajorPnp] = DrvDispatchPnp;
  driver->major_function[kMajorPower] = DrvDispatchPower;
  driver->major_function[kMajorSystemControl] = DrvDispatchSystemControl;
  driver->add_device = AddDevice;
  driver->unload = DrvUnload;
}

// The outside drivers are released when the driver does not load: no unload follows.
NtStatus RefuseToLoad(NtStatus status) {
  QelMemDisconnect();
  QelLogDisconnect();
  return status;
}

}  // namespace

NtStatus InitManagerExtension(DeviceObject* controlDevice, const KernelString* registryPath) {
  YatManagerExtension* manager = ManagerOf(controlDevice);
  std::memset(static_cast<void*>(manager), 0, sizeof *manager);
  manager->controlDevice = controlDevice;
  manager->kind = kYatManagerKind;
  manager->boardTimerPeriod = kYatBoardTimerPeriod;
  manager->cyclesPer800us = StavroCpuSpeedMhz() * 800;
  initialize_spin_lock(&manager->sharedInterruptLock);
  initialize_mutex(&manager->processTableLock);
  NtStatus status = CopyRegistryPath(manager, registryPath);
  if (!plat::nt_success(status)) return status;
  InitIocSections(manager);
  manager->traceFlags = kTraceDefault;
  AllocateMessageQueues(manager);
  manager->cpuSpeed = StavroCpuSpeedMhz();
  return plat::kStatusSuccess;
}

extern "C" NtStatus DriverEntry(DriverObject* driver, const KernelString* registryPath) {
  if (driver == nullptr || !QelLogConnect()) return RefuseToLoad(plat::kStatusInsufficientResources);
  STAVRO_LOG(kLogTrace, "%s: DRIVERENTRY => Entering (v. %s)", kStavroVersionText);
  GetCmosCpuSpeed();
  if (!QelMemConnect()) return RefuseToLoad(plat::kStatusInsufficientResources);

  DeviceObject* control = nullptr;
  bool linked = false;
  NtStatus status = CreateControlDevice(driver, &control);
  if (plat::nt_success(status)) {
    status = CreateControlLink();
    linked = plat::nt_success(status);
  }
  if (plat::nt_success(status)) {
    status = InitManagerExtension(control, registryPath);
    if (!plat::nt_success(status)) {
      STAVRO_LOG(kLogError, "%s: DRIVERENTRY => InitManagerExtension failed [0x%08lx]",
                 static_cast<unsigned long>(status));
    }
  }
  if (!plat::nt_success(status)) {
    if (linked) DeleteControlLink();
    if (control != nullptr) delete_device(control);
    STAVRO_LOG(kLogError, "%s: DRIVERENTRY: Unable to start [0x%08lx]", static_cast<unsigned long>(status));
    return RefuseToLoad(status);
  }
  control->flags |= kDeviceFlagBufferedIo;
  control->flags &= ~kDeviceFlagInitializing;
  FillDispatchTable(driver);
  return plat::kStatusSuccess;
}

void CloseManager(YatManagerExtension* manager) {
  if (manager->traceFlags & kTraceLifeCycle) {
    STAVRO_LOG(kLogTrace, "%s: CLOSEMANAGER => Unloading");
    STAVRO_LOG(kLogTrace, "%s: DRVUNLOAD => Releasing resources");
  }
  FreeMessageQueues(manager);
  if (manager->registryPath.buffer != nullptr) free_pool_with_tag(manager->registryPath.buffer, kTagRegistry);
  manager->registryPath = {};
  if (manager->traceFlags & kTraceLifeCycle) STAVRO_LOG(kLogTrace, "%s: DRVUNLOAD => Unloading");
  DeleteControlLink();
  delete_device(manager->controlDevice);
}

// Without boards the control device is still there: its link must not
// outlive the driver, or the next load could not create it again.
void DrvUnload(DriverObject* driver) {
  if (driver != nullptr && driver->device_list != nullptr) {
    STAVRO_LOG(kLogNotice, "%s: Unload: Driver was not unloaded properly. ");
    DeviceObject* last = driver->device_list;
    while (last->next_device != nullptr) last = last->next_device;
    if (last->extension != nullptr && ExtensionKind(last->extension) == kYatManagerKind) CloseManager(ManagerOf(last));
  }
  QelLogDisconnect();
  QelMemDisconnect();
}
