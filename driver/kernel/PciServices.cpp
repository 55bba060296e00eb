#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/dma.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kPciBusInterface = 5;

NtStatus ConfigRequest(YatBoardExtension* board, std::uint8_t minor, void* buffer, std::uint32_t offset,
                       std::uint32_t length) {
  if (buffer == nullptr || board->lowerDevice == nullptr) return plat::kStatusInsufficientResources;
  KernelEvent event{};
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock ioStatus{};
  Irp* irp = build_synchronous_request(board->lowerDevice, kMajorPnp, &event, &ioStatus);
  if (irp == nullptr) return plat::kStatusInsufficientResources;
  irp->io_status.status = plat::kStatusNotSupported;
  IrpStackLocation* next = get_next_stack_location(irp);
  next->minor_function = minor;
  next->parameters.read_write_config = {kPciWhichSpaceConfig, buffer, offset, length};
  return send_and_wait(board->lowerDevice, irp, &event, &ioStatus);
}

}  // namespace

QelHwStatus GetDmaAdapter(YatBoardExtension* board) {
  DeviceDescription description{};
  description.version = 0;
  description.master = true;
  description.scatter_gather = true;
  description.dma32_bit_addresses = true;
  description.dma64_bit_addresses = true;
  description.ignore_count = true;
  description.interface_type = kPciBusInterface;
  description.maximum_length = 4096;
  board->dmaAdapter = get_dma_adapter(board->physicalDevice, &description, &board->mapRegisterCount);
  if (board->dmaAdapter == nullptr) {
    STAVRO_LOG(kLogError, "%s: pDmaAdapter = NULL");
    return QELHW_ERROR_SYSTEM_RESOURCE;
  }
  return QELHW_OK;
}

void PutDmaAdapter(YatBoardExtension* board) {
  if (board->dmaAdapter != nullptr) put_dma_adapter(board->dmaAdapter);
  board->dmaAdapter = nullptr;
}

QelHwStatus GDrv_GetDeviceBusInformation(YatBoardExtension* board, std::uint32_t* location) {
  if (board == nullptr) {
    STAVRO_LOG(kLogError, "%s: GDrv_GetDeviceBusInformation: pBoardExt is NULL");
    return QELHW_ERROR_INVALID_HANDLE;
  }
  if (location == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t bus = 0, address = 0, length = 0;
  NtStatus status = get_device_property(board->physicalDevice, DeviceProperty::kBusNumber, sizeof bus, &bus, &length);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: IoGetDeviceProperty( busNumber) failed ntStatus=0x%x", static_cast<unsigned>(status));
    return QELHW_ERROR_SYSTEM_RESOURCE;
  }
  status = get_device_property(board->physicalDevice, DeviceProperty::kAddress, sizeof address, &address, &length);
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: IoGetDeviceProperty( DevicePropertyAddress) failed ntStatus=0x%x",
               static_cast<unsigned>(status));
    return QELHW_ERROR_SYSTEM_RESOURCE;
  }
  std::uint32_t device = (address >> 16) & 0x1F;
  std::uint32_t function = address & 0x7;
  *location = bus << 8 | device << 3 | function;
  return QELHW_OK;
}

QelHwStatus GDrv_ReadPciConfigurationSpace(YatBoardExtension* board, void* buffer, std::uint32_t offset,
                                           std::uint32_t length) {
  if (board == nullptr) return plat::kStatusInsufficientResources;
  NtStatus status = ConfigRequest(board, kMinorReadConfig, buffer, offset, length);
  if (status == plat::kStatusInsufficientResources) return status;
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: Error <GDrv_ReadPciConfigurationSpace> => NT error [0x%08x]",
               static_cast<unsigned>(status));
    return QELHW_ERROR_PCICFG_READ;
  }
  return QELHW_OK;
}

QelHwStatus GDrv_WritePciConfigurationSpace(YatBoardExtension* board, const void* buffer, std::uint32_t offset,
                                            std::uint32_t length) {
  if (board == nullptr) return plat::kStatusInsufficientResources;
  NtStatus status = ConfigRequest(board, kMinorWriteConfig, const_cast<void*>(buffer), offset, length);
  if (status == plat::kStatusInsufficientResources) return status;
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: Error <GDrv_WritePciConfigurationSpace> => NT error [0x%08x]",
               static_cast<unsigned>(status));
    return QELHW_ERROR_PCICFG_WRITE;
  }
  return QELHW_OK;
}
