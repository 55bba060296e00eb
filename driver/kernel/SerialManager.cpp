// Registration of the board's serial ports with the serial-port manager:
// directly when it runs, otherwise through its callback object once it
// announces itself; removal before the FPGA is reloaded and at board stop.
#include <cstring>
#include <string>

#include "driver/kernel/Serial.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/irp.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr char16_t kDefaultProductName[] = u"Tramond-CL_RZ6";
constexpr char16_t kBoardDevicePrefix[] = u"\\Device\\STAVRO";

NtStatus SendToManager(DeviceObject* manager, std::uint32_t code, const void* input, std::uint32_t inputLength,
                       void* output, std::uint32_t outputLength) {
  KernelEvent done{};
  initialize_event(&done, EventType::kNotification, false);
  IoStatusBlock ioStatus{};
  Irp* irp = build_device_io_control_request(code, manager, input, inputLength, output, outputLength, true, &done,
                                             &ioStatus);
  if (irp == nullptr) return plat::kStatusNoMemory;
  return send_and_wait(manager, irp, &done, &ioStatus);
}

// Appends text to a wide buffer of `capacity` characters, always terminated.
void Append(char16_t* buffer, std::size_t capacity, std::u16string_view text) {
  std::size_t length = 0;
  while (length < capacity && buffer[length] != 0) ++length;
  for (char16_t c : text) {
    if (length + 1 >= capacity) break;
    buffer[length++] = c;
  }
  if (length < capacity) buffer[length] = 0;
}

std::u16string Decimal(std::uint32_t value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

void BuildNames(const YatSerialPortContext* context, QelSerialClientRecord* record) {
  const std::uint32_t number = context->boardIndex + 1;
  const char16_t* product = context->productName[0] != 0 ? context->productName : kDefaultProductName;
  constexpr std::size_t kChars = sizeof record->boardName / sizeof(char16_t);
  Append(record->boardName, kChars, product);
  if (context->controlDeviceFlag == 0) {
    Append(record->boardName, kChars, u"_");
    Append(record->boardName, kChars, Decimal(number));
  }
  if (*context->versionWord != 0) Append(record->boardName, kChars, context->nameSuffix);
  Append(record->deviceName, kChars, kBoardDevicePrefix);
  if (context->controlDeviceFlag == 0) Append(record->deviceName, kChars, Decimal(number));
}

void FillClientRecord(YatSerialPortContext* context, QelSerialClientRecord* record) {
  std::memset(record, 0, sizeof *record);
  BuildNames(context, record);
  record->portIndex = context->portIndex;
  record->clientId = context->clientId;
  record->portEvent = reinterpret_cast<std::uintptr_t>(&context->portEvent);
  record->clientVersion = kYatSerialDriverVersion;
  record->clientKind = context->clientKind;
  record->baudMask = context->capabilityMasks[0];
  record->dataBitsMask = context->capabilityMasks[1];
  record->stopParityMask = context->capabilityMasks[2];
  record->zero = context->capabilityMasks[3];
  record->boardValue = context->boardValue;
  record->controlDeviceFlag = context->controlDeviceFlag;
  record->reservedWord = context->reservedWord;
}

// The manager answered the callback: the port registers now.
void QelSerialCreateCallbackFunction(void* callbackContext, void*, void*) {
  auto* context = static_cast<YatSerialPortContext*>(callbackContext);
  if (context->registered) return;
  FileObject* file = nullptr;
  DeviceObject* manager = nullptr;
  NtStatus status = GetSerialMgrDeviceObject(&file, &manager);
  if (plat::nt_success(status)) {
    status = QelSerialAddDevice(context, manager);
    dereference_object(file);
  }
  if (plat::nt_success(status)) {
    STAVRO_LOG(kLogTrace, "%s: QelSerialCreatePorts => Board(%d): Client Serial Port(%d) Created",
               static_cast<int>(context->boardIndex), static_cast<int>(context->portIndex));
    return;
  }
  STAVRO_LOG(kLogError,
             "%s: QelSerialCreateCallbackFunction => Error Opening Marvanti Brenk Serial Port Manager (0x%x)",
             static_cast<unsigned>(status));
  unregister_callback(context->callbackRegistration);
  context->callbackRegistration = nullptr;
  dereference_object(context->callbackObject);
  context->callbackObject = nullptr;
}

NtStatus QelSerialInitializeCallback(YatSerialPortContext* context) {
  if (context->callbackRegistration != nullptr) return plat::kStatusSuccess;
  KernelString name;
  init_kernel_string(&name, kQelSerialCallbackName);
  NtStatus status = create_callback(&name, true, true, &context->callbackObject);
  if (!plat::nt_success(status)) return status;
  context->callbackRegistration = register_callback(context->callbackObject, QelSerialCreateCallbackFunction, context);
  if (context->callbackRegistration != nullptr) return plat::kStatusSuccess;
  dereference_object(context->callbackObject);
  context->callbackObject = nullptr;
  return plat::kStatusUnsuccessful;
}

void DropCallback(YatSerialPortContext* context) {
  if (context->callbackRegistration != nullptr) unregister_callback(context->callbackRegistration);
  context->callbackRegistration = nullptr;
  if (context->callbackObject != nullptr) dereference_object(context->callbackObject);
  context->callbackObject = nullptr;
}

void FillContext(YatSerialPortContext* context, std::uint32_t boardIndex, YatSerialPortBlock* block,
                 std::uint32_t port, const YatSerialPortDescription* description) {
  context->boardIndex = boardIndex;
  context->versionWord = &block->managerVersion;
  std::memcpy(context->capabilityMasks, description->capabilityMasks, sizeof context->capabilityMasks);
  context->boardContext = description->boardContext;
  context->clientKind = description->clientKind;
  context->boardValue = description->boardValue;
  context->portIndex = port;
  context->controlDeviceFlag = description->controlDeviceFlag;
  context->clientId = kYatSerialClientId;
  context->reservedWord = description->reservedWord;
  std::memset(context->nameSuffix, 0, sizeof context->nameSuffix);
  std::memset(context->productName, 0, sizeof context->productName);
  constexpr std::size_t kChars = sizeof context->nameSuffix / sizeof(char16_t);
  if (description->nameSuffix != nullptr) Append(context->nameSuffix, kChars, description->nameSuffix);
  if (description->productName != nullptr) Append(context->productName, kChars, description->productName);
  // Commands may follow the registration at once: the port is ready for them first.
  context->operations = *description->operations;
  context->drainLimit = description->drainLimit;
  context->fifoDepth = description->fifoDepth;
  if (!context->dpcReady) {
    initialize_dpc(&context->dpc, QelSerialDpc, context);
    initialize_spin_lock(&context->dpcLock);
    initialize_event(&context->portEvent, EventType::kSynchronization, false);
  }
  context->readsInThread = description->readsInThread;
  context->dpcReady = 1;
}

}  // namespace

NtStatus GetSerialMgrDeviceObject(FileObject** file, DeviceObject** device) {
  KernelString name;
  init_kernel_string(&name, kQelSerialDeviceName);
  return get_device_object_pointer(&name, kFileAllAccess, file, device);
}

NtStatus QelSerialGetVersion(DeviceObject* manager, std::uint32_t* version) {
  *version = 0;
  return SendToManager(manager, kQelSerialGetVersion, nullptr, 0, version, sizeof *version);
}

NtStatus QelSerialAddDevice(YatSerialPortContext* context, DeviceObject* manager) {
  if (*context->versionWord == 0) {
    std::uint32_t version = 0;
    NtStatus status = QelSerialGetVersion(manager, &version);
    if (status == plat::kStatusNotImplemented) {
      version = 0;
    } else if (!plat::nt_success(status)) {
      STAVRO_LOG(kLogError, "%s: QelSerialAddDevice => Could not get the QelSerial version (0x%x)",
                 static_cast<unsigned>(status));
      return status;
    }
    *context->versionWord = version;
  }
  STAVRO_LOG(kLogTrace, "%s: QelSerialAddDevice => QelSerial Interface Version: Board Driver:%d, QelSerial:%d",
             static_cast<int>(kYatSerialDriverVersion), static_cast<int>(*context->versionWord));
  if (context->controlDeviceFlag != 0 && *context->versionWord < kYatSerialDriverVersion) {
    STAVRO_LOG(kLogError, "%s: QelSerialAddDevice => QelSerial Interface too old. Need at least:%d",
               static_cast<int>(kYatSerialDriverVersion));
    return plat::kStatusUnsuccessful;
  }
  QelSerialClientRecord record;
  FillClientRecord(context, &record);
  QelSerialPortRecord answer{};
  NtStatus status = SendToManager(manager, kQelSerialAddPort, &record, sizeof record, &answer, sizeof answer);
  if (!plat::nt_success(status)) {
    context->registered = 0;
    context->managerPortHandle = 0;
    STAVRO_LOG(kLogError, "%s: QelSerialAddDevice => Could not create serial device (0x%x)",
               static_cast<unsigned>(status));
    return status;
  }
  std::memcpy(context->portInformation, answer.information, sizeof context->portInformation);
  context->managerPortHandle = answer.portHandle;
  context->registered = 1;
  return status;
}

NtStatus QelSerialDeleteDevice(YatSerialPortContext* context) {
  FileObject* file = nullptr;
  DeviceObject* manager = nullptr;
  NtStatus status = GetSerialMgrDeviceObject(&file, &manager);
  if (!plat::nt_success(status)) return status;
  QelSerialPortRecord record{};
  record.portIndex = context->portIndex;
  record.portHandle = context->managerPortHandle;
  status = SendToManager(manager, kQelSerialDeletePort, &record, sizeof record, nullptr, 0);
  dereference_object(file);
  if (plat::nt_success(status)) {
    context->registered = 0;
    context->managerPortHandle = 0;
    DropCallback(context);
  }
  return status;
}

NtStatus QelSerialCreatePorts(std::uint32_t boardIndex, YatSerialPortBlock* block, std::uint32_t port,
                              const YatSerialPortDescription* description) {
  if (port >= kYatSerialPorts) {
    STAVRO_LOG(kLogError, "%s: QelSerialCreatePort => Port index (%d) is out of range", static_cast<int>(port));
    return plat::kStatusInvalidParameter;
  }
  YatSerialPortContext* context = &block->ports[port];
  if (context->registered) return plat::kStatusSuccess;
  FillContext(context, boardIndex, block, port, description);
  FileObject* file = nullptr;
  DeviceObject* manager = nullptr;
  NtStatus status = GetSerialMgrDeviceObject(&file, &manager);
  if (plat::nt_success(status)) {
    status = QelSerialAddDevice(context, manager);
    dereference_object(file);
  } else {
    STAVRO_LOG(kLogNotice, "%s: GetSerialMgrDeviceObject => QelSerial Driver Not Running (0x%x)",
               static_cast<unsigned>(status));
    status = QelSerialInitializeCallback(context);
  }
  if (plat::nt_success(status) && context->registered) {
    STAVRO_LOG(kLogTrace, "%s: QelSerialCreatePorts => Board(%d): Client Serial Port(%d) Created",
               static_cast<int>(boardIndex), static_cast<int>(port));
  } else if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: QelSerialCreatePorts => Board(%d): Client Serial Port(%d) Creation failed",
               static_cast<int>(boardIndex), static_cast<int>(port));
  }
  return status;
}

NtStatus QelSerialRemovePorts(YatBoardExtension* board) {
  NtStatus status = plat::kStatusSuccess;
  YatSerialPortBlock* block = &board->serial.ports.block;
  for (std::uint32_t port = 0; port < kYatSerialPorts; ++port) {
    YatSerialPortContext* context = &block->ports[port];
    if (context->registered) {
      status = QelSerialDeleteDevice(context);
      if (plat::nt_success(status)) {
        STAVRO_LOG(kLogTrace, "%s: QelSerialRemovePorts => Board(%d): Client Serial Port(%d) Removed",
                   static_cast<int>(board->boardSlot), static_cast<int>(port));
      } else {
        STAVRO_LOG(kLogError, "%s: QelSerialRemovePorts => Board(%d): Client Serial Port(%d) Removing failed",
                   static_cast<int>(board->boardSlot), static_cast<int>(port));
      }
    } else {
      // A port still waiting for the manager stops waiting.
      DropCallback(context);
    }
    // The manager disconnects a port it deletes; a port it could not reach is disconnected here.
    if (context->connected) QelSerialDisconnect(block, port);
    if (context->dpcReady && remove_queued_dpc(&context->dpc)) flush_queued_dpcs();
  }
  flush_queued_dpcs();
  YatStopSerialThread(board);
  return status;
}
