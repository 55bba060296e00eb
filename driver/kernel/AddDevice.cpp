#include <cstring>

#include "driver/kernel/BoardPins.h"
#include "driver/kernel/StavroDriver.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

// The control device was created first, so it ends the driver's device list.
DeviceObject* FindControlDevice(DriverObject* driver) {
  DeviceObject* device = driver ? driver->device_list : nullptr;
  while (device != nullptr && device->next_device != nullptr) device = device->next_device;
  return device;
}

std::uint32_t LowestFreeBoardSlot(const YatManagerExtension* manager) {
  for (std::uint32_t slot = 0; slot < YAT_MAX_BOARDS; ++slot) {
    if (manager->boardSlots[slot] == nullptr) return slot;
  }
  return YAT_MAX_BOARDS;
}

NtStatus CreateBoardDevice(YatManagerExtension* manager, std::uint32_t slot, DeviceObject** device) {
  KernelString name{};
  NtStatus status = CreateDeviceNameString(slot + 1, &name);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: ADDNEWBOARD => Unable to create Name string [0x%08lx]",
               static_cast<unsigned long>(status));
    return status;
  }
  status = create_device(manager->controlDevice->driver, sizeof(YatBoardExtension), &name, kFileDeviceUnknown, 0,
                         false, device);
  FreeDeviceNameString(&name);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: ADDNEWBOARD => Create device failed for board %d [0x%08lx]", static_cast<int>(slot + 1),
               static_cast<unsigned long>(status));
  }
  return status;
}

void ForgetBoardDevice(YatManagerExtension* manager, std::uint32_t slot, DeviceObject* device) {
  cancel_timer(&BoardOf(device)->boardTimer);
  remove_queued_dpc(&BoardOf(device)->boardTimerDpc);
  YatSetBoardSlot(manager, slot, nullptr);
  delete_device(device);
}

}  // namespace

NtStatus CreateDeviceNameString(std::uint32_t number, KernelString* name) {
  auto* buffer = static_cast<wchar_t*>(allocate_pool(PoolType::kPaged, kStavroBoardNameBytes, kTagName));
  if (buffer == nullptr) {
    STAVRO_LOG(kLogError, "%s: CREATEDEVICENAMESTRING => Not enough memory to create name string");
    return plat::kStatusInsufficientResources;
  }
  std::memset(buffer, 0, kStavroBoardNameBytes);
  *name = {0, kStavroBoardNameBytes, buffer};
  NtStatus status = append_to_kernel_string(name, kStavroBoardDevicePrefix);
  if (plat::nt_success(status)) status = append_number_to_kernel_string(name, number);
  if (!plat::nt_success(status)) FreeDeviceNameString(name);
  return status;
}

void FreeDeviceNameString(KernelString* name) {
  if (name->buffer != nullptr) free_pool_with_tag(name->buffer, kTagName);
  *name = {};
}

NtStatus AddNewBoard(YatManagerExtension* manager, DeviceObject* physicalDevice) {
  std::uint32_t slot = LowestFreeBoardSlot(manager);
  if (slot == YAT_MAX_BOARDS) return plat::kStatusSuccess;  // a seventeenth board gets no device
  DeviceObject* device = nullptr;
  NtStatus status = CreateBoardDevice(manager, slot, &device);
  if (plat::nt_success(status)) {
    InitBoardExtension(device, manager->controlDevice, slot);
    YatSetBoardSlot(manager, slot, device);
    YatBoardExtension* board = BoardOf(device);
    board->physicalDevice = physicalDevice;
    board->lowerDevice = attach_device_to_stack(device, physicalDevice);
    if (board->lowerDevice == nullptr) {
      ForgetBoardDevice(manager, slot, device);
      status = plat::kStatusNoSuchDevice;
    }
  }
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogTrace, "%s: ADDNEWBOARD => Board %d offline", static_cast<int>(slot + 1));
    return status;
  }
  ++manager->boardCount;
  device->flags |= kDeviceFlagBufferedIo;
  device->flags &= ~kDeviceFlagInitializing;
  return status;
}

NtStatus AddDevice(DriverObject* driver, DeviceObject* physicalDevice) {
  DeviceObject* control = FindControlDevice(driver);
  if (control == nullptr || ExtensionKind(control->extension) != kYatManagerKind) {
    STAVRO_LOG(kLogError, "%s: ADDDEVICE => Addition of a new board failed because manager object is null");
    return plat::kStatusInsufficientResources;
  }
  NtStatus status = AddNewBoard(ManagerOf(control), physicalDevice);
  if (!plat::nt_success(status)) return plat::kStatusInsufficientResources;
  physicalDevice->flags &= ~kDeviceFlagInitializing;
  return status;
}
