// A small driver written against the kernel services the way the system's
// driver is: it binds the log and memory drivers at entry, owns a control
// device, adds and starts a device per board (BAR mapping, interrupt, DPC),
// and serves requests that let the tests observe the kernel from outside.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/kernel/kernel.h"
#include "platform/kernel/tests/testdrv/testdrv_records.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kTag = 0x58747354;  // "TstX"
constexpr int kMaxBoards = 16;
constexpr int kMaxLocks = 8;

struct BoardExtension {
  DeviceObject* self;
  DeviceObject* lower;
  DeviceObject* physical;
  int index;
  volatile std::uint32_t* bar0;
  std::uint32_t bar0_length;
  InterruptObject* interrupt;
  bool started;
};

struct Driver {
  FileObject* log_file = nullptr;
  QelLogInterface log{};
  FileObject* memory_file = nullptr;
  QelMemFunctionTable memory{};
  DeviceObject* control = nullptr;
  SpinLock interrupt_lock{};
  SpinLock event_lock{};
  UserEvent* event = nullptr;
  BoardExtension* boards[kMaxBoards] = {};
  void* contiguous = nullptr;
  QelMemLockRecord* locks[kMaxLocks] = {};
  std::atomic<std::uint32_t> claimed{0}, under_lock{0}, dpc_runs{0}, started{0};
};
Driver g;

void log_line(std::uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void log_line(std::uint32_t level, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (g.log.log) g.log.log(level, __FILE__, __LINE__, text);
}

NtStatus finish(Irp* irp, NtStatus status, std::uint64_t information = 0) {
  irp->io_status.status = status;
  irp->io_status.information = information;
  complete_request(irp, kIoNoIncrement);
  return status;
}

NtStatus ask_outside_driver(const wchar_t* name, std::uint32_t code, void* out, std::uint32_t size,
                            FileObject** file) {
  KernelString device_name;
  init_kernel_string(&device_name, name);
  DeviceObject* device = nullptr;
  NtStatus status = get_device_object_pointer(&device_name, kFileAllAccess, file, &device);
  if (!plat::nt_success(status)) return status;
  KernelEvent event;
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock io_status{};
  Irp* irp = build_device_io_control_request(code, device, nullptr, 0, out, size, true, &event, &io_status);
  if (irp == nullptr) return plat::kStatusInsufficientResources;
  return send_and_wait(device, irp, &event, &io_status);
}

// Interrupt and DPC.
bool isr(InterruptObject*, void* context) {
  auto* board = static_cast<BoardExtension*>(context);
  if (board->bar0 == nullptr) return false;
  std::uint32_t status = read_register32(board->bar0 + 0x404 / 4);
  if (status == 0 || status == 0xFFFFFFFFu) return false;
  if (g.interrupt_lock.held.load()) ++g.under_lock;
  if (status & 0x80000000u) write_register32(board->bar0 + 0x408 / 4, read_register32(board->bar0 + 0x408 / 4));
  if (status & 0x40000000u) write_register32(board->bar0 + 0x40C / 4, read_register32(board->bar0 + 0x40C / 4));
  write_register32(board->bar0 + 0x404 / 4, status);
  memory_barrier();
  ++g.claimed;
  queue_dpc(&board->self->dpc, board, nullptr);
  return true;
}

void dpc_routine(Dpc*, void*, void*, void*) {
  ++g.dpc_runs;
  acquire_spin_lock_at_dpc_level(&g.event_lock);
  if (g.event) signal_user_event(g.event);
  release_spin_lock_from_dpc_level(&g.event_lock);
}

// Plug and Play of a board.
NtStatus signal_completion(DeviceObject*, Irp*, void* context) {
  set_event(static_cast<KernelEvent*>(context));
  return kStatusMoreProcessingRequired;
}

NtStatus pass_down(BoardExtension* board, Irp* irp) {
  skip_current_stack_location(irp);
  return call_driver(board->lower, irp);
}

NtStatus start_board(BoardExtension* board, Irp* irp) {
  KernelEvent done;
  initialize_event(&done, EventType::kNotification, false);
  copy_current_stack_location_to_next(irp);
  set_completion_routine(irp, signal_completion, &done, true, true, true);
  if (call_driver(board->lower, irp) == plat::kStatusPending) wait_for_object(&done, nullptr);
  NtStatus status = irp->io_status.status;
  if (!plat::nt_success(status)) return finish(irp, status);
  ResourceList* resources = get_current_stack_location(irp)->parameters.start_device.allocated_resources_translated;
  std::uint32_t vector = 0, level = 0;
  std::uint64_t affinity = 0;
  for (std::uint32_t i = 0; resources && i < resources->list[0].partial.count; ++i) {
    const ResourceDescriptor& d = resources->list[0].partial.descriptors[i];
    if (d.type == ResourceType::kInterrupt && level == 0) {
      vector = d.u.interrupt.vector;
      level = d.u.interrupt.level;
      affinity = d.u.interrupt.affinity;
    } else if (d.type == ResourceType::kMemory && board->bar0 == nullptr) {
      board->bar0 = static_cast<volatile std::uint32_t*>(
          map_io_space(d.u.memory.start, d.u.memory.length, CacheType::kNonCached));
      board->bar0_length = d.u.memory.length;
    }
  }
  if (board->bar0 == nullptr || level == 0) return finish(irp, plat::kStatusInsufficientResources);
  initialize_dpc(&board->self->dpc, dpc_routine, board);
  status = connect_interrupt(&board->interrupt, isr, board, &g.interrupt_lock, vector,
                             static_cast<Irql>(level), static_cast<Irql>(level),
                             InterruptMode::kLevelSensitive, true, affinity, false);
  if (!plat::nt_success(status)) return finish(irp, status);
  board->started = true;
  ++g.started;
  log_line(2, "TestDrv start board %d", board->index);
  return finish(irp, plat::kStatusSuccess);
}

void stop_board(BoardExtension* board) {
  if (board->interrupt) disconnect_interrupt(board->interrupt);
  board->interrupt = nullptr;
  flush_queued_dpcs();
  if (board->bar0) unmap_io_space(const_cast<std::uint32_t*>(board->bar0), board->bar0_length);
  board->bar0 = nullptr;
}

NtStatus dispatch_pnp(DeviceObject* device, Irp* irp) {
  if (device == g.control) return finish(irp, plat::kStatusInvalidDeviceRequest);
  auto* board = static_cast<BoardExtension*>(device->extension);
  switch (get_current_stack_location(irp)->minor_function) {
    case kMinorStartDevice:
      return start_board(board, irp);
    case kMinorSurpriseRemoval:
      log_line(2, "TestDrv surprise removal board %d", board->index);
      irp->io_status.status = plat::kStatusSuccess;
      return pass_down(board, irp);
    case kMinorRemoveDevice: {
      log_line(2, "TestDrv remove board %d", board->index);
      stop_board(board);
      irp->io_status.status = plat::kStatusSuccess;
      NtStatus status = pass_down(board, irp);
      g.boards[board->index] = nullptr;
      detach_device(board->lower);
      delete_device(device);
      return status;
    }
    default:
      return pass_down(board, irp);
  }
}

NtStatus dispatch_power(DeviceObject* device, Irp* irp) {
  start_next_power_irp(irp);
  if (device == g.control) return finish(irp, plat::kStatusSuccess);
  skip_current_stack_location(irp);
  return call_power_driver(static_cast<BoardExtension*>(device->extension)->lower, irp);
}

NtStatus add_device(DriverObject* driver, DeviceObject* physical) {
  int index = 0;
  while (index < kMaxBoards && g.boards[index]) ++index;
  if (index == kMaxBoards) return plat::kStatusSuccess;
  wchar_t buffer[64];
  KernelString name{0, sizeof buffer, buffer};
  append_to_kernel_string(&name, L"\\Device\\TESTDRV");
  append_number_to_kernel_string(&name, static_cast<std::uint32_t>(index + 1));
  DeviceObject* device = nullptr;
  NtStatus status = create_device(driver, sizeof(BoardExtension), &name, kFileDeviceUnknown, 0, false, &device);
  if (!plat::nt_success(status)) return status;
  auto* board = static_cast<BoardExtension*>(device->extension);
  board->self = device;
  board->index = index;
  board->physical = physical;
  board->lower = attach_device_to_stack(device, physical);
  g.boards[index] = board;
  device->flags |= kDeviceFlagBufferedIo;
  device->flags &= ~kDeviceFlagInitializing;
  return plat::kStatusSuccess;
}

// Requests of the control device.
NtStatus who_am_i(Irp* irp, std::uint32_t in, std::uint32_t out) {
  testdrv::WhoAmIRequest request{};
  if (in < sizeof request || out < sizeof(testdrv::WhoAmIReply)) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  const ClientInfo* client = current_client();
  FileObject* file = get_current_stack_location(irp)->file;
  testdrv::WhoAmIReply reply{};
  reply.pid = current_process_id();
  reply.is_32bit = current_process_is_32bit() ? 1 : 0;
  reply.start_time = client ? client->process.start_time : 0;
  reply.opener_pid = file ? file->opener.process.pid : 0;
  reply.opener_is_32bit = file ? file->opener.is_32bit : 0;
  std::memcpy(irp->system_buffer, &reply, sizeof reply);
  return finish(irp, plat::kStatusSuccess, std::min(request.information_wanted, out));
}

NtStatus write_board_register(Irp* irp, std::uint32_t in) {
  testdrv::WriteRegisterRequest request{};
  if (in < sizeof request) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  if (request.board >= kMaxBoards || g.boards[request.board] == nullptr) return finish(irp, plat::kStatusNoSuchDevice);
  BoardExtension* board = g.boards[request.board];
  if (board->bar0 == nullptr || request.offset % 4 || request.offset >= board->bar0_length)
    return finish(irp, plat::kStatusInvalidParameter);
  write_register32(board->bar0 + request.offset / 4, request.value);
  return finish(irp, plat::kStatusSuccess);
}

NtStatus register_event(Irp* irp, std::uint32_t in) {
  testdrv::RegisterEventRequest request{};
  if (in < sizeof request) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  UserEvent* event = nullptr;
  NtStatus status = reference_user_event(request.event_handle, &event);
  if (!plat::nt_success(status)) return finish(irp, status);
  clear_user_event(event);
  Irql old;
  acquire_spin_lock(&g.event_lock, &old);
  UserEvent* previous = g.event;
  g.event = event;
  release_spin_lock(&g.event_lock, old);
  dereference_user_event(previous);
  return finish(irp, plat::kStatusSuccess);
}

NtStatus copy_memory(Irp* irp, std::uint32_t in) {
  testdrv::CopyMemoryRequest request{};
  if (in < sizeof request) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  if (request.length == 0 || request.length > (1u << 20)) return finish(irp, plat::kStatusInvalidParameter);
  auto* bytes = static_cast<std::uint8_t*>(allocate_pool(PoolType::kPaged, request.length, kTag));
  if (bytes == nullptr) return finish(irp, plat::kStatusNoMemory);
  NtStatus status = copy_from_caller(request.source, bytes, request.length);
  if (plat::nt_success(status)) {
    for (std::uint32_t i = 0; i < request.length; ++i) ++bytes[i];
    status = copy_to_caller(request.destination, bytes, request.length);
  }
  free_pool(bytes);
  return finish(irp, status);
}

NtStatus allocate_contiguous(Irp* irp, std::uint32_t in, std::uint32_t out) {
  testdrv::AllocateRequest request{};
  if (in < sizeof request || out < sizeof(testdrv::AllocateReply)) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  if (g.contiguous || request.size == 0 || request.size > (16u << 20)) return finish(irp, plat::kStatusInvalidParameter);
  auto* block = static_cast<std::uint8_t*>(allocate_contiguous_memory(request.size, 0xFFFFFFFFull));
  if (block == nullptr) return finish(irp, plat::kStatusNoMemory);
  for (std::uint32_t i = 0; i < request.size; ++i) block[i] = testdrv::pattern_byte(i);
  testdrv::AllocateReply reply{};
  reply.physical = get_physical_address(block);
  NtStatus status = map_physical_into_caller(reply.physical, request.size, &reply.user_address);
  if (!plat::nt_success(status)) {
    free_contiguous_memory(block);
    return finish(irp, status);
  }
  g.contiguous = block;
  std::memcpy(irp->system_buffer, &reply, sizeof reply);
  return finish(irp, plat::kStatusSuccess, sizeof reply);
}

NtStatus lock_buffer(Irp* irp, std::uint32_t in, std::uint32_t out) {
  testdrv::LockRequest request{};
  if (in < sizeof request || out < sizeof(testdrv::LockReply)) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  auto lock = reinterpret_cast<QelMemLockExFn>(g.memory.entry[kQelMemLockEx]);
  int slot = 0;
  while (slot < kMaxLocks && g.locks[slot]) ++slot;
  if (lock == nullptr || slot == kMaxLocks) return finish(irp, plat::kStatusInsufficientResources);
  auto* record = static_cast<QelMemLockRecord*>(allocate_pool(PoolType::kNonPaged, sizeof(QelMemLockRecord), kTag));
  std::memset(record, 0, sizeof *record);
  record->user_address = request.address;
  record->buffer_size = request.size;
  if ((lock(nullptr, record, 0, 0) & 0xFFFFFFFFu) == 0) {
    free_pool(record);
    return finish(irp, plat::kStatusAccessViolation);
  }
  g.locks[slot] = record;
  testdrv::LockReply reply{};
  reply.lock_index = static_cast<std::uint32_t>(slot);
  reply.page_count = record->page_count;
  auto* pages = reinterpret_cast<const QelMemPageEntry*>(record->page_list);
  for (std::uint32_t i = 0; i < record->page_count && i < testdrv::kMaxReportedPages; ++i) {
    reply.bus_address[i] = pages[i].physical;
    reply.page_length[i] = pages[i].length;
  }
  std::memcpy(irp->system_buffer, &reply, sizeof reply);
  return finish(irp, plat::kStatusSuccess, sizeof reply);
}

NtStatus unlock_buffer(Irp* irp, std::uint32_t in) {
  testdrv::UnlockRequest request{};
  if (in < sizeof request) return finish(irp, plat::kStatusBufferTooSmall);
  std::memcpy(&request, irp->system_buffer, sizeof request);
  if (request.lock_index >= kMaxLocks || g.locks[request.lock_index] == nullptr)
    return finish(irp, plat::kStatusInvalidParameter);
  auto unlock = reinterpret_cast<QelMemUnlockFn>(g.memory.entry[kQelMemUnlockEx]);
  NtStatus status = unlock(g.locks[request.lock_index]);
  free_pool(g.locks[request.lock_index]);
  g.locks[request.lock_index] = nullptr;
  return finish(irp, status);
}

NtStatus log_text(Irp* irp, std::uint32_t in) {
  char text[200] = {};
  std::memcpy(text, irp->system_buffer, std::min<std::uint32_t>(in, sizeof text - 1));
  log_line(2, "TestDrv says: %s", text);
  return finish(irp, plat::kStatusSuccess);
}

NtStatus counters(Irp* irp, std::uint32_t out) {
  if (out < sizeof(testdrv::CountersReply)) return finish(irp, plat::kStatusBufferTooSmall);
  testdrv::CountersReply reply{g.claimed, g.under_lock, g.dpc_runs, g.started};
  std::memcpy(irp->system_buffer, &reply, sizeof reply);
  return finish(irp, plat::kStatusSuccess, sizeof reply);
}

NtStatus dispatch_device_control(DeviceObject*, Irp* irp) {
  auto& p = get_current_stack_location(irp)->parameters.device_io_control;
  std::uint32_t in = p.input_buffer_length, out = p.output_buffer_length;
  switch (p.io_control_code) {
    case testdrv::kWhoAmI: return who_am_i(irp, in, out);
    case testdrv::kWriteRegister: return write_board_register(irp, in);
    case testdrv::kRegisterEvent: return register_event(irp, in);
    case testdrv::kCopyMemory: return copy_memory(irp, in);
    case testdrv::kAllocateContiguous: return allocate_contiguous(irp, in, out);
    case testdrv::kLockBuffer: return lock_buffer(irp, in, out);
    case testdrv::kUnlockBuffer: return unlock_buffer(irp, in);
    case testdrv::kLog: return log_text(irp, in);
    case testdrv::kCounters: return counters(irp, out);
    case testdrv::kLeakPool:
      return finish(irp, allocate_pool(PoolType::kNonPaged, 4000, kTag) ? plat::kStatusSuccess : plat::kStatusNoMemory);
    default: return finish(irp, plat::kStatusInvalidDeviceRequest);
  }
}

NtStatus dispatch_create_close(DeviceObject*, Irp* irp) {
  IrpStackLocation* location = get_current_stack_location(irp);
  if (location->major_function == kMajorClose && location->file && !location->file->opened_by_kernel)
    log_line(2, "TestDrv close pid %d", location->file->opener.process.pid);
  return finish(irp, plat::kStatusSuccess);
}

void unload(DriverObject*) {
  KernelString link;
  init_kernel_string(&link, L"\\DosDevices\\TESTDRV");
  delete_symbolic_link(&link);
  if (g.control) delete_device(g.control);
  g.control = nullptr;
  dereference_user_event(g.event);
  g.event = nullptr;
  if (g.contiguous) free_contiguous_memory(g.contiguous);
  g.contiguous = nullptr;
  for (auto*& record : g.locks) {
    if (record == nullptr) continue;
    reinterpret_cast<QelMemUnlockFn>(g.memory.entry[kQelMemUnlockEx])(record);
    free_pool(record);
    record = nullptr;
  }
  dereference_object(g.memory_file);
  dereference_object(g.log_file);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) NtStatus DriverEntry(DriverObject* driver,
                                                                      const KernelString* registry_path) {
  (void)registry_path;
  if (!plat::nt_success(ask_outside_driver(kQelLogDeviceName, kQelLogGetInterface, &g.log, sizeof g.log,
                                           &g.log_file)) ||
      !plat::nt_success(ask_outside_driver(kQelMemDeviceName, kQelMemGetFunctionTable, &g.memory,
                                           sizeof g.memory, &g.memory_file)))
    return plat::kStatusInsufficientResources;
  initialize_spin_lock(&g.interrupt_lock);
  initialize_spin_lock(&g.event_lock);
  KernelString name, link;
  init_kernel_string(&name, L"\\Device\\TESTDRV");
  init_kernel_string(&link, L"\\DosDevices\\TESTDRV");
  NtStatus status = create_device(driver, 0, &name, kFileDeviceUnknown, 0, false, &g.control);
  if (!plat::nt_success(status)) return status;
  status = create_symbolic_link(&link, &name);
  if (!plat::nt_success(status)) {
    delete_device(g.control);
    return status;
  }
  g.control->flags |= kDeviceFlagBufferedIo;
  g.control->flags &= ~kDeviceFlagInitializing;
  driver->major_function[kMajorCreate] = dispatch_create_close;
  driver->major_function[kMajorClose] = dispatch_create_close;
  driver->major_function[kMajorCleanup] = dispatch_create_close;
  driver->major_function[kMajorDeviceControl] = dispatch_device_control;
  driver->major_function[kMajorPnp] = dispatch_pnp;
  driver->major_function[kMajorPower] = dispatch_power;
  driver->add_device = add_device;
  driver->unload = unload;
  log_line(3, "TestDrv loaded");
  return plat::kStatusSuccess;
}
