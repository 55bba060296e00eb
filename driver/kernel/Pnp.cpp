#include "driver/kernel/BoardPins.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/StavroDriver.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

NtStatus Complete(Irp* irp, NtStatus status) {
  irp->io_status.status = status;
  irp->io_status.information = 0;
  complete_request(irp, kIoNoIncrement);
  return status;
}

NtStatus PassDown(YatBoardExtension* board, Irp* irp) {
  skip_current_stack_location(irp);
  return call_driver(board->lowerDevice, irp);
}

NtStatus SignalLowerDone(DeviceObject*, Irp*, void* context) {
  set_event(static_cast<KernelEvent*>(context));
  return kStatusMoreProcessingRequired;
}

// The bus starts the device first; the driver starts above it.
NtStatus StartLowerDevice(YatBoardExtension* board, Irp* irp) {
  KernelEvent done{};
  initialize_event(&done, EventType::kNotification, false);
  copy_current_stack_location_to_next(irp);
  set_completion_routine(irp, SignalLowerDone, &done, true, true, true);
  call_driver(board->lowerDevice, irp);
  // The completion routine keeps the request for us, whatever the call answered.
  wait_for_object(&done, nullptr);
  return irp->io_status.status;
}

NtStatus StartBoard(DeviceObject* device, YatBoardExtension* board, Irp* irp) {
  const ResourceList* translated =
      get_current_stack_location(irp)->parameters.start_device.allocated_resources_translated;
  NtStatus status = StartLowerDevice(board, irp);
  if (plat::nt_success(status)) status = MapDevice(device, translated);
  if (plat::nt_success(status) && GetDmaAdapter(board) != QELHW_OK) status = plat::kStatusInsufficientResources;
  if (plat::nt_success(status)) BoardAddDevice(board);
  return Complete(irp, status);
}

NtStatus RemoveBoard(DeviceObject* device, YatBoardExtension* board, Irp* irp) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  // No request may find the board any more, and none still uses it, before it closes.
  YatRetireBoard(manager, device, board);
  CloseBoard(board);
  if (manager != nullptr && manager->boardCount > 0) --manager->boardCount;
  irp->io_status.status = plat::kStatusSuccess;
  DeviceObject* lower = board->lowerDevice;
  NtStatus status = PassDown(board, irp);
  detach_device(lower);
  delete_device(device);
  if (manager != nullptr && manager->boardCount == 0) CloseManager(manager);
  return status;
}

bool IsBoardDevice(DeviceObject* device) {
  return device != nullptr && device->extension != nullptr && ExtensionKind(device->extension) == kYatBoardKind;
}

// The control device has no lower device: what reaches it is finished here.
NtStatus CompleteOnControlDevice(Irp* irp) {
  NtStatus status = irp->io_status.status;
  complete_request(irp, kIoNoIncrement);
  return status;
}

}  // namespace

NtStatus DrvDispatchPnp(DeviceObject* device, Irp* irp) {
  if (!IsBoardDevice(device)) return CompleteOnControlDevice(irp);
  YatBoardExtension* board = BoardOf(device);
  switch (get_current_stack_location(irp)->minor_function) {
    case kMinorStartDevice: return StartBoard(device, board, irp);
    case kMinorQueryRemoveDevice: {
      YatManagerExtension* manager = ManagerOf(board->managerDevice);
      if (manager != nullptr && AnyProcessRegistered(manager)) return Complete(irp, plat::kStatusUnsuccessful);
      return PassDown(board, irp);
    }
    case kMinorRemoveDevice: return RemoveBoard(device, board, irp);
    case kMinorStopDevice: return Complete(irp, plat::kStatusUnsuccessful);
    case kMinorCancelStopDevice: return Complete(irp, plat::kStatusSuccess);
    default: return PassDown(board, irp);
  }
}

NtStatus DrvDispatchPower(DeviceObject* device, Irp* irp) {
  start_next_power_irp(irp);
  if (!IsBoardDevice(device)) return CompleteOnControlDevice(irp);
  skip_current_stack_location(irp);
  return call_power_driver(BoardOf(device)->lowerDevice, irp);
}

NtStatus DrvDispatchSystemControl(DeviceObject* device, Irp* irp) {
  if (!IsBoardDevice(device)) return CompleteOnControlDevice(irp);
  return PassDown(BoardOf(device), irp);
}
