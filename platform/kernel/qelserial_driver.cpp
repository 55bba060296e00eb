// The serial-port manager stand-in as a driver of the kernel host: its
// version, the adding and deleting of client ports, and its announcement on
// the callback object for clients that started before it.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/kernel/irp.h"
#include "platform/kernel/kernel_log.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/qelserial_internal.h"

namespace plat::kernel {

namespace {

using qelserial::Port;

constexpr std::uint32_t kPoolTag = 0x6C655351;  // "QSel"

struct Manager {
  std::mutex lock;
  std::map<std::uint64_t, std::unique_ptr<Port>> ports;
  std::uint64_t next_handle = 1;
  CallbackObject* announcement = nullptr;
};

Manager& manager() {
  static Manager* m = new Manager;
  return *m;
}

void* zeroed(std::size_t size) {
  void* memory = allocate_pool(PoolType::kNonPaged, size, kPoolTag);
  if (memory != nullptr) std::memset(memory, 0, size);
  return memory;
}

void free_port_memory(Port* port) {
  for (void* memory : {static_cast<void*>(port->block), static_cast<void*>(port->receive),
                       static_cast<void*>(port->transmit)})
    if (memory != nullptr) free_pool(memory);
  port->block = nullptr;
  port->receive = port->transmit = nullptr;
}

// The shared block names its rings by address (interface version 2 and up).
bool make_shared_memory(Port* port) {
  port->block = static_cast<std::uint8_t*>(zeroed(kSharedBlockSize));
  port->receive = static_cast<QelSerialRing*>(zeroed(sizeof(QelSerialRing) + qelserial::kRingSize));
  port->transmit = static_cast<QelSerialRing*>(zeroed(sizeof(QelSerialRing) + qelserial::kRingSize));
  if (port->block == nullptr || port->receive == nullptr || port->transmit == nullptr) return false;
  port->receive->size = port->transmit->size = qelserial::kRingSize;
  const std::uint64_t receive = reinterpret_cast<std::uintptr_t>(port->receive);
  const std::uint64_t transmit = reinterpret_cast<std::uintptr_t>(port->transmit);
  std::memcpy(port->block + kSharedReceiveRingAddress, &receive, sizeof receive);
  std::memcpy(port->block + kSharedTransmitRingAddress, &transmit, sizeof transmit);
  return true;
}

std::wstring text_of(const char16_t* text, std::size_t capacity) {
  std::wstring out;
  for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) out.push_back(static_cast<wchar_t>(text[i]));
  return out;
}

// "\Device\STAVRO2" is board 1.
int board_of(const std::wstring& device) {
  std::size_t digits = device.size();
  while (digits > 0 && device[digits - 1] >= L'0' && device[digits - 1] <= L'9') --digits;
  if (digits == device.size() || device.size() - digits > 4) return 0;
  return std::stoi(device.substr(digits)) - 1;
}

NtStatus add_port(const QelSerialClientRecord& record, QelSerialPortRecord* answer) {
  auto port = std::make_unique<Port>();
  port->index = record.portIndex;
  port->device_name = text_of(record.deviceName, std::size(record.deviceName));
  port->board_name = text_of(record.boardName, std::size(record.boardName));
  port->board = board_of(port->device_name);
  port->port_event = reinterpret_cast<KernelEvent*>(static_cast<std::uintptr_t>(record.portEvent));
  if (port->device_name.empty() || port->port_event == nullptr) return kStatusInvalidParameter;
  if (!make_shared_memory(port.get()) || !qelserial::open_terminal(port.get())) {
    free_port_memory(port.get());
    return kStatusInsufficientResources;
  }
  Manager& m = manager();
  std::lock_guard guard(m.lock);
  port->handle = m.next_handle++;
  std::memset(answer, 0, sizeof *answer);
  std::memcpy(answer->information, port->terminal.c_str(),
              std::min(port->terminal.size(), sizeof answer->information - 1));
  answer->portIndex = port->index;
  answer->portHandle = port->handle;
  host_log(3, "QelSerial: board %d port %u is %s", port->board, port->index, port->terminal.c_str());
  qelserial::start_pump(port.get());
  qelserial::publish_com_name(*port);
  m.ports[port->handle] = std::move(port);
  return kStatusSuccess;
}

void finish_port(std::unique_ptr<Port> port) {
  qelserial::withdraw_com_name(*port);
  qelserial::stop_pump(port.get());
  qelserial::close_terminal(port.get());
  free_port_memory(port.get());
}

NtStatus delete_port(const QelSerialPortRecord& record) {
  std::unique_ptr<Port> port;
  {
    Manager& m = manager();
    std::lock_guard guard(m.lock);
    const std::uint64_t handle = record.portHandle;  // packed: copied before use as a key
    auto found = m.ports.find(handle);
    if (found == m.ports.end() || found->second->index != record.portIndex) return kStatusInvalidParameter;
    port = std::move(found->second);
    m.ports.erase(found);
  }
  finish_port(std::move(port));
  return kStatusSuccess;
}

NtStatus serve(std::uint32_t code, void* buffer, std::uint32_t input_length, std::uint32_t output_length,
               std::uint64_t* information) {
  switch (code) {
    case kQelSerialGetVersion: {
      if (output_length < sizeof(std::uint32_t) || buffer == nullptr) return kStatusBufferTooSmall;
      const std::uint32_t version = kQelSerialVersion;
      std::memcpy(buffer, &version, sizeof version);
      *information = sizeof version;
      return kStatusSuccess;
    }
    case kQelSerialAddPort: {
      if (input_length < sizeof(QelSerialClientRecord) || output_length < sizeof(QelSerialPortRecord) ||
          buffer == nullptr)
        return kStatusBufferTooSmall;
      QelSerialClientRecord record;
      std::memcpy(&record, buffer, sizeof record);
      QelSerialPortRecord answer{};
      const NtStatus status = add_port(record, &answer);
      if (!nt_success(status)) return status;
      std::memcpy(buffer, &answer, sizeof answer);
      *information = sizeof answer;
      return status;
    }
    case kQelSerialDeletePort: {
      if (input_length < sizeof(QelSerialPortRecord) || buffer == nullptr) return kStatusBufferTooSmall;
      QelSerialPortRecord record;
      std::memcpy(&record, buffer, sizeof record);
      return delete_port(record);
    }
    default: return kStatusInvalidDeviceRequest;
  }
}

NtStatus dispatch_internal(DeviceObject*, Irp* irp) {
  auto& p = get_current_stack_location(irp)->parameters.device_io_control;
  irp->io_status.information = 0;
  const NtStatus status =
      serve(p.io_control_code, irp->system_buffer, p.input_buffer_length, p.output_buffer_length,
            &irp->io_status.information);
  irp->io_status.status = status;
  complete_request(irp, kIoNoIncrement);
  return status;
}

void unload(DriverObject* driver) {
  Manager& m = manager();
  std::map<std::uint64_t, std::unique_ptr<Port>> left;
  {
    std::lock_guard guard(m.lock);
    left.swap(m.ports);
  }
  for (auto& entry : left) finish_port(std::move(entry.second));
  if (m.announcement != nullptr) dereference_object(m.announcement);
  m.announcement = nullptr;
  delete_all_devices(driver);
}

}  // namespace

NtStatus qelserial_driver_entry(DriverObject* driver, const KernelString*) {
  NtStatus status = create_outside_device(driver, kQelSerialDeviceName);
  if (!nt_success(status)) return status;
  driver->major_function[kMajorInternalDeviceControl] = dispatch_internal;
  driver->unload = unload;
  // Clients that came first wait on the callback object: ready now, the manager tells them.
  KernelString name;
  init_kernel_string(&name, kQelSerialCallbackName);
  Manager& m = manager();
  if (nt_success(create_callback(&name, true, true, &m.announcement))) notify_callback(m.announcement, nullptr, nullptr);
  return kStatusSuccess;
}

}  // namespace plat::kernel
