#include <cstdint>
#include <cstring>

#include "driver/kernel/BoardPins.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/StavroDriver.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

NtStatus Complete(Irp* irp, NtStatus status, std::uint64_t information) {
  irp->io_status.status = status;
  irp->io_status.information = information;
  complete_request(irp, kIoNoIncrement);
  return status;
}

// The opener's id travels with its file object, so that a close (even one
// delivered after the process died) is counted against the right process.
NtStatus DispatchCreate(YatManagerExtension* manager, IrpStackLocation* location, Irp* irp) {
  std::uint64_t processId = static_cast<std::uint64_t>(current_process_id());
  if (location->file != nullptr) location->file->context = reinterpret_cast<void*>(processId);
  if (manager != nullptr && processId != 0) AddProcessID(manager, processId);
  return Complete(irp, plat::kStatusSuccess, 0);
}

NtStatus DispatchClose(YatManagerExtension* manager, IrpStackLocation* location, Irp* irp) {
  std::uint64_t processId = location->file ? reinterpret_cast<std::uintptr_t>(location->file->context) : 0;
  if (manager != nullptr && processId != 0) RemoveProcessID(manager, processId);
  return Complete(irp, plat::kStatusSuccess, 0);
}

QelHwStatus CallSection(YatManagerExtension* manager, std::uint32_t code, Irp* irp, std::uint32_t inputLength,
                        void* output, std::uint32_t outputLength) {
  std::uint32_t section = YatIoctlSection(code);
  YatIocSectionHandler handler =
      (manager != nullptr && section < YAT_IOC_SECTION_COUNT) ? manager->sectionHandlers[section] : nullptr;
  if (handler == nullptr) {
    STAVRO_LOG(kLogError, "%s: DRVDISPATCH => Invalid IOC section");
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  return handler(manager, code, irp->system_buffer, inputLength, output, outputLength);
}

NtStatus DispatchDeviceControl(YatManagerExtension* manager, IrpStackLocation* location, Irp* irp) {
  irp->io_status.information = 0;
  std::uint32_t code = location->parameters.device_io_control.io_control_code;
  std::uint32_t inputLength = location->parameters.device_io_control.input_buffer_length;
  std::uint32_t outputLength = location->parameters.device_io_control.output_buffer_length;
  if (outputLength < sizeof(YatIocStatus)) {
    STAVRO_LOG(kLogError, "%s: DRVDISPATCH => Output buffer to small for a status");
    return Complete(irp, plat::kStatusInvalidParameter, 0);
  }
  if (current_process_is_32bit()) code &= ~YAT_IOCTRL_WIDTH_BIT;
  // Handlers write a buffer of their own: input and output never alias.
  void* output = allocate_pool(PoolType::kPaged, outputLength, kTagOutput);
  if (output == nullptr) {
    STAVRO_LOG(kLogError, "%s: DRVDISPATCH => Out of memory");
    return Complete(irp, plat::kStatusNoMemory, 0);
  }
  std::memset(output, 0, outputLength);
  QelHwStatus status = QELHW_OK;
  {
    YatRequestScope boardsHeld;  // the boards the request names stay until it is answered
    status = CallSection(manager, code, irp, inputLength, output, outputLength);
  }
  YatIocAnswer(output, outputLength, status);
  if (irp->system_buffer != nullptr) std::memcpy(irp->system_buffer, output, outputLength);
  free_pool_with_tag(output, kTagOutput);
  return Complete(irp, plat::kStatusSuccess, irp->system_buffer != nullptr ? outputLength : 0);
}

}  // namespace

YatManagerExtension* ServingManager(DeviceObject* device) {
  if (device == nullptr || device->extension == nullptr) return nullptr;
  if (ExtensionKind(device->extension) == kYatBoardKind) return ManagerOf(BoardOf(device)->managerDevice);
  return ManagerOf(device);
}

NtStatus DrvDispatch(DeviceObject* device, Irp* irp) {
  YatManagerExtension* manager = ServingManager(device);
  if (manager != nullptr && (manager->traceFlags & kTraceDispatch)) STAVRO_LOG(kLogTrace, "%s: Entering DrvDispatch");
  IrpStackLocation* location = get_current_stack_location(irp);
  switch (location->major_function) {
    case kMajorCreate: return DispatchCreate(manager, location, irp);
    case kMajorClose: return DispatchClose(manager, location, irp);
    case kMajorDeviceControl: return DispatchDeviceControl(manager, location, irp);
    default: return Complete(irp, plat::kStatusInvalidDeviceRequest, 0);
  }
}

// Only the serial-port manager's command is acted on; its own result is not
// returned, and no output ever leaves.
NtStatus DrvDispatchInternal(DeviceObject* device, Irp* irp) {
  IrpStackLocation* location = get_current_stack_location(irp);
  std::uint32_t code = location->parameters.device_io_control.io_control_code;
  std::uint32_t outputLength = location->parameters.device_io_control.output_buffer_length;
  if (code == YAT_IOCTRL_INTERNAL_SERIAL_COMMAND && device->extension != nullptr &&
      ExtensionKind(device->extension) == kYatBoardKind) {
    YatSerialManagerCommand(BoardOf(device), irp->system_buffer,
                            location->parameters.device_io_control.input_buffer_length);
  }
  if (irp->system_buffer != nullptr && outputLength > 0) std::memset(irp->system_buffer, 0, outputLength);
  return Complete(irp, plat::kStatusSuccess, 0);
}
