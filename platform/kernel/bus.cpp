#include "platform/kernel/bus.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/kernel/device_internal.h"
#include "platform/kernel/interrupt.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/registers.h"

namespace plat::kernel {

struct BusSlot {
  board::Board* board;
  DeviceObject* physical_device;
  std::uint32_t vector;
  NtStatus start_status;
  bool removed;
};

namespace {

constexpr std::uint32_t kFirstVector = 0x30;
constexpr std::uint32_t kConfigInterruptLine = 0x3C;

std::uint32_t board_read32(void* device, int bar, std::uint64_t offset) {
  return board::bar_read32(static_cast<board::Board*>(device), bar, offset);
}

void board_write32(void* device, int bar, std::uint64_t offset, std::uint32_t value) {
  board::bar_write32(static_cast<board::Board*>(device), bar, offset, value);
}

const IoRangeOps kBoardOps{board_read32, board_write32};

void on_interrupt_line(void* context, bool asserted) {
  set_interrupt_line(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(context)), asserted);
}

BusSlot* slot_of(DeviceObject* physical_device) {
  return static_cast<BusSlot*>(physical_device->internals->bus_context);
}

NtStatus config_access(BusSlot* slot, IrpStackLocation* location, bool write, std::uint64_t* done) {
  auto& p = location->parameters.read_write_config;
  if (p.which_space != kPciWhichSpaceConfig || p.buffer == nullptr) return kStatusInvalidParameter;
  if (p.offset >= 256) return kStatusInvalidParameter;
  std::uint32_t length = std::min<std::uint32_t>(p.length, 256 - p.offset);
  auto* bytes = static_cast<std::uint8_t*>(p.buffer);
  for (std::uint32_t i = 0; i < length;) {
    std::uint32_t at = p.offset + i;
    std::uint32_t width = (at % 4 == 0 && length - i >= 4) ? 4 : 1;
    if (write) {
      std::uint32_t value = 0;
      std::memcpy(&value, bytes + i, width);
      board::config_write(slot->board, at, width, value);
    } else {
      std::uint32_t value = board::config_read(slot->board, at, width);
      std::memcpy(bytes + i, &value, width);
    }
    i += width;
  }
  *done = length;
  return kStatusSuccess;
}

NtStatus bus_dispatch_pnp(DeviceObject* device, Irp* irp) {
  IrpStackLocation* location = get_current_stack_location(irp);
  BusSlot* slot = slot_of(device);
  NtStatus status = irp->io_status.status;
  switch (location->minor_function) {
    case kMinorStartDevice:
    case kMinorQueryRemoveDevice:
    case kMinorRemoveDevice:
    case kMinorCancelRemoveDevice:
    case kMinorStopDevice:
    case kMinorQueryStopDevice:
    case kMinorCancelStopDevice:
    case kMinorSurpriseRemoval:
      status = kStatusSuccess;
      break;
    case kMinorReadConfig:
    case kMinorWriteConfig: {
      std::uint64_t done = 0;
      status = config_access(slot, location, location->minor_function == kMinorWriteConfig, &done);
      irp->io_status.information = done;
      break;
    }
    default:
      break;
  }
  irp->io_status.status = status;
  complete_request(irp, kIoNoIncrement);
  return status;
}

NtStatus bus_dispatch_power(DeviceObject*, Irp* irp) {
  start_next_power_irp(irp);
  irp->io_status.status = kStatusSuccess;
  complete_request(irp, kIoNoIncrement);
  return kStatusSuccess;
}

NtStatus bus_dispatch_keep_status(DeviceObject*, Irp* irp) {
  NtStatus status = irp->io_status.status;
  complete_request(irp, kIoNoIncrement);
  return status;
}

NtStatus bus_dispatch_success(DeviceObject*, Irp* irp) {
  irp->io_status.status = kStatusSuccess;
  irp->io_status.information = 0;
  complete_request(irp, kIoNoIncrement);
  return kStatusSuccess;
}

NtStatus bus_property(DeviceObject* device, DeviceProperty property, std::uint32_t buffer_length,
                      void* buffer, std::uint32_t* result_length) {
  BusSlot* slot = slot_of(device);
  board::PciLocation where = board::board_location(slot->board);
  std::uint32_t value = 0;
  switch (property) {
    case DeviceProperty::kBusNumber:
      value = where.bus;
      break;
    case DeviceProperty::kAddress:
      value = static_cast<std::uint32_t>(where.device) << 16 | where.function;
      break;
    default:
      return kStatusInvalidParameter;
  }
  if (result_length) *result_length = sizeof value;
  if (buffer == nullptr || buffer_length < sizeof value) return kStatusBufferTooSmall;
  std::memcpy(buffer, &value, sizeof value);
  return kStatusSuccess;
}

DriverObject* bus_driver() {
  static DriverObject* driver = [] {
    DriverObject* d = create_driver_object(L"\\Driver\\PciBus");
    d->major_function[kMajorPnp] = bus_dispatch_pnp;
    d->major_function[kMajorPower] = bus_dispatch_power;
    d->major_function[kMajorSystemControl] = bus_dispatch_keep_status;
    d->major_function[kMajorCreate] = bus_dispatch_success;
    d->major_function[kMajorClose] = bus_dispatch_success;
    d->major_function[kMajorCleanup] = bus_dispatch_success;
    return d;
  }();
  return driver;
}

std::mutex& bus_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
std::uint32_t g_next_pdo = 0;

void build_resources(BusSlot* slot, ResourceList* raw, ResourceList* translated) {
  *raw = {};
  *translated = {};
  raw->count = translated->count = 1;
  board::PciLocation where = board::board_location(slot->board);
  for (ResourceList* list : {raw, translated}) {
    list->list[0].interface_type = InterfaceType::kPciBus;
    list->list[0].bus_number = where.bus;
    list->list[0].partial.version = 1;
    list->list[0].partial.revision = 1;
  }
  std::uint32_t line = board::config_read(slot->board, kConfigInterruptLine, 1) & 0xFF;
  if (line == 0 || line == 0xFF) line = 16;
  slot->vector = kFirstVector + line;
  Irql level = static_cast<Irql>(std::min<std::uint32_t>(kFirstDeviceLevel + 2 + line % 20, kLastDeviceLevel));
  auto add = [](ResourceList* list, const ResourceDescriptor& d) {
    auto& partial = list->list[0].partial;
    if (partial.count < kMaxPartialResources) partial.descriptors[partial.count++] = d;
  };
  ResourceDescriptor interrupt{};
  interrupt.type = ResourceType::kInterrupt;
  interrupt.share = ShareDisposition::kShared;
  interrupt.flags = kInterruptLevelSensitive;
  interrupt.u.interrupt = {line, line, 1};
  add(raw, interrupt);
  interrupt.u.interrupt = {level, slot->vector, 1};
  add(translated, interrupt);
  for (const board::BarRange& bar : board::board_bars(slot->board)) {
    ResourceDescriptor memory{};
    memory.type = ResourceType::kMemory;
    memory.share = ShareDisposition::kDeviceExclusive;
    memory.flags = kMemoryReadWrite;
    memory.u.memory = {bar.bus_address, static_cast<std::uint32_t>(bar.length)};
    add(raw, memory);
    add(translated, memory);
  }
}

}  // namespace

NtStatus send_pnp_request(DeviceObject* physical_device, std::uint8_t minor, ResourceList* raw,
                          ResourceList* translated) {
  DeviceObject* top = get_attached_device_reference(physical_device);
  KernelEvent event;
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock io_status{};
  Irp* irp = build_synchronous_request(top, kMajorPnp, &event, &io_status);
  if (irp == nullptr) {
    dereference_object(top);
    return kStatusInsufficientResources;
  }
  IrpStackLocation* next = get_next_stack_location(irp);
  next->minor_function = minor;
  if (minor == kMinorStartDevice) {
    next->parameters.start_device.allocated_resources = raw;
    next->parameters.start_device.allocated_resources_translated = translated;
  }
  NtStatus status = send_and_wait(top, irp, &event, &io_status);
  dereference_object(top);
  return status;
}

NtStatus send_power_request(DeviceObject* physical_device, std::uint8_t minor, std::uint32_t device_state) {
  DeviceObject* top = get_attached_device_reference(physical_device);
  KernelEvent event;
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock io_status{};
  Irp* irp = build_synchronous_request(top, kMajorPower, &event, &io_status);
  if (irp == nullptr) {
    dereference_object(top);
    return kStatusInsufficientResources;
  }
  IrpStackLocation* next = get_next_stack_location(irp);
  next->minor_function = minor;
  next->parameters.power.type = PowerStateType::kDevice;
  next->parameters.power.state = device_state;
  NtStatus status = send_and_wait(top, irp, &event, &io_status);
  dereference_object(top);
  return status;
}

NtStatus bus_add_board(board::Board* board, DriverObject* driver, BusSlot** out) {
  if (board == nullptr || driver == nullptr || out == nullptr) return kStatusInvalidParameter;
  auto* slot = new BusSlot{board, nullptr, 0, kStatusUnsuccessful, false};
  std::wstring name;
  {
    std::lock_guard guard(bus_lock());
    name = L"\\Device\\PciBus" + std::to_wstring(g_next_pdo++);
  }
  KernelString pdo_name;
  init_kernel_string(&pdo_name, name.c_str());
  DeviceObject* pdo = nullptr;
  NtStatus status = create_device(bus_driver(), 0, &pdo_name, kFileDeviceBus, 0, false, &pdo);
  if (!nt_success(status)) {
    delete slot;
    return status;
  }
  pdo->internals->bus_context = slot;
  pdo->internals->property = bus_property;
  pdo->flags &= ~kDeviceFlagInitializing;
  slot->physical_device = pdo;
  *out = slot;

  for (const board::BarRange& bar : board::board_bars(board))
    register_io_range(bar.bus_address, bar.length, board, bar.bar, &kBoardOps);
  ResourceList raw, translated;
  build_resources(slot, &raw, &translated);
  board::board_set_interrupt_callback(board, on_interrupt_line,
                                      reinterpret_cast<void*>(static_cast<std::uintptr_t>(slot->vector)));
  set_interrupt_line(slot->vector, board::board_interrupt_asserted(board));

  if (driver->add_device == nullptr) return slot->start_status = kStatusNotSupported;
  status = driver->add_device(driver, pdo);
  if (!nt_success(status)) return slot->start_status = status;
  if (pdo->attached_device == nullptr) return slot->start_status = kStatusNoSuchDevice;
  slot->start_status = send_pnp_request(pdo, kMinorStartDevice, &raw, &translated);
  return slot->start_status;
}

NtStatus bus_remove_board(BusSlot* slot, bool surprise) {
  if (slot == nullptr || slot->removed) return kStatusInvalidParameter;
  DeviceObject* pdo = slot->physical_device;
  NtStatus status = kStatusSuccess;
  if (pdo->attached_device != nullptr) {
    if (surprise) {
      send_pnp_request(pdo, kMinorSurpriseRemoval, nullptr, nullptr);
    } else if (!nt_success(send_pnp_request(pdo, kMinorQueryRemoveDevice, nullptr, nullptr))) {
      // The machine goes away regardless: a refused removal becomes a surprise.
      send_pnp_request(pdo, kMinorCancelRemoveDevice, nullptr, nullptr);
      send_pnp_request(pdo, kMinorSurpriseRemoval, nullptr, nullptr);
    }
    status = send_pnp_request(pdo, kMinorRemoveDevice, nullptr, nullptr);
  }
  board::board_set_interrupt_callback(slot->board, nullptr, nullptr);
  set_interrupt_line(slot->vector, false);
  unregister_io_ranges(slot->board);
  slot->removed = true;
  pdo->internals->bus_context = nullptr;
  pdo->internals->property = nullptr;
  delete_device(pdo);
  return status;
}

void bus_free_slot(BusSlot* slot) {
  if (slot && slot->removed) delete slot;
}

board::Board* bus_slot_board(const BusSlot* slot) { return slot ? slot->board : nullptr; }
DeviceObject* bus_slot_physical_device(const BusSlot* slot) { return slot ? slot->physical_device : nullptr; }
NtStatus bus_slot_start_status(const BusSlot* slot) { return slot ? slot->start_status : kStatusInvalidParameter; }

}  // namespace plat::kernel
