#include "platform/kernel/irp.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "platform/kernel/device_internal.h"
#include "platform/kernel/io_manager.h"

namespace plat::kernel {

constexpr std::uint32_t kIrpBuffered = 0x1;
constexpr std::uint32_t kIrpFreeOnCompletion = 0x2;
constexpr std::uint32_t kIrpOwnsSystemBuffer = 0x4;
constexpr std::uint32_t kIrpInThreadStorage = 0x8;

namespace {

[[noreturn]] void fatal(const char* what) {
  std::fprintf(stderr, "kernel-host: request error: %s\n", what);
  std::abort();
}

void finish_request(Irp* irp) {
  // Success, information and warning statuses carry output; errors do not.
  bool is_error = (static_cast<std::uint32_t>(irp->io_status.status) >> 30) == 3;
  if ((irp->internal_flags & kIrpBuffered) && irp->user_buffer && irp->system_buffer && !is_error) {
    std::size_t n = std::min<std::uint64_t>(irp->io_status.information, irp->user_buffer_length);
    std::memcpy(irp->user_buffer, irp->system_buffer, n);
  }
  if (irp->user_io_status) *irp->user_io_status = irp->io_status;
  KernelEvent* event = irp->user_event;
  if (irp->internal_flags & kIrpFreeOnCompletion) free_irp(irp);
  if (event) set_event(event);
}

bool should_invoke(const IrpStackLocation* location, const Irp* irp) {
  if (location->completion_routine == nullptr) return false;
  if (irp->cancel && (location->control & kStackInvokeOnCancel)) return true;
  if (nt_success(irp->io_status.status)) return (location->control & kStackInvokeOnSuccess) != 0;
  return (location->control & kStackInvokeOnError) != 0;
}

std::mutex& file_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

NtStatus send_file_request(FileObject* file, std::uint8_t major) {
  KernelEvent event;
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock status{};
  Irp* irp = build_synchronous_request(file->device, major, &event, &status);
  if (irp == nullptr) return kStatusInsufficientResources;
  get_next_stack_location(irp)->file = file;
  irp->client = file->opened_by_kernel ? nullptr : &file->opener;
  return send_and_wait(file->device, irp, &event, &status);
}

}  // namespace

Irp* allocate_irp(std::int8_t stack_size) {
  if (stack_size < 1) return nullptr;
  auto* irp = static_cast<Irp*>(std::calloc(1, sizeof(Irp)));
  auto* stack = static_cast<IrpStackLocation*>(std::calloc(stack_size, sizeof(IrpStackLocation)));
  if (irp == nullptr || stack == nullptr) {
    std::free(irp);
    std::free(stack);
    return nullptr;
  }
  irp->stack = stack;
  irp->stack_count = stack_size;
  irp->current_location = static_cast<std::int8_t>(stack_size + 1);
  irp->io_status.status = kStatusSuccess;
  return irp;
}

namespace {

// Each thread keeps the storage of one client request: the request and its
// stack, reused by the thread's next request. The request comes first, so
// freeing it finds its storage from any thread.
struct UserRequestStorage {
  Irp irp{};
  bool in_use = false;
  IrpStackLocation* stack = nullptr;
  std::size_t capacity = 0;
  ~UserRequestStorage() { std::free(stack); }
};
static_assert(std::is_standard_layout_v<UserRequestStorage> && offsetof(UserRequestStorage, irp) == 0);

thread_local UserRequestStorage t_user_request;

// A zeroed request of stack_size locations in the thread's storage; null when
// it is taken or cannot grow.
Irp* take_thread_storage(std::int8_t stack_size) {
  UserRequestStorage& storage = t_user_request;
  if (storage.in_use || stack_size < 1) return nullptr;
  const auto count = static_cast<std::size_t>(stack_size);
  if (storage.capacity < count) {
    void* grown = std::realloc(storage.stack, sizeof(IrpStackLocation) * count);
    if (grown == nullptr) return nullptr;
    storage.stack = static_cast<IrpStackLocation*>(grown);
    storage.capacity = count;
  }
  std::memset(static_cast<void*>(storage.stack), 0, sizeof(IrpStackLocation) * count);
  storage.in_use = true;
  Irp* irp = &storage.irp;
  *irp = Irp{};
  irp->stack = storage.stack;
  irp->stack_count = stack_size;
  irp->current_location = static_cast<std::int8_t>(stack_size + 1);
  irp->io_status.status = kStatusSuccess;
  irp->internal_flags = kIrpInThreadStorage;
  return irp;
}

}  // namespace

void free_irp(Irp* irp) {
  if (irp == nullptr) return;
  if (irp->internal_flags & kIrpOwnsSystemBuffer) std::free(irp->system_buffer);
  if (irp->internal_flags & kIrpInThreadStorage) {
    reinterpret_cast<UserRequestStorage*>(irp)->in_use = false;
    return;
  }
  std::free(irp->stack);
  std::free(irp);
}

IrpStackLocation* get_current_stack_location(Irp* irp) {
  if (irp->current_location < 1 || irp->current_location > irp->stack_count) return nullptr;
  return &irp->stack[irp->current_location - 1];
}

IrpStackLocation* get_next_stack_location(Irp* irp) {
  if (irp->current_location < 2 || irp->current_location > irp->stack_count + 1) return nullptr;
  return &irp->stack[irp->current_location - 2];
}

void skip_current_stack_location(Irp* irp) { ++irp->current_location; }

void copy_current_stack_location_to_next(Irp* irp) {
  IrpStackLocation* current = get_current_stack_location(irp);
  IrpStackLocation* next = get_next_stack_location(irp);
  if (current == nullptr || next == nullptr) fatal("no stack location to copy to");
  *next = *current;
  next->completion_routine = nullptr;
  next->context = nullptr;
  next->control = 0;
}

void mark_irp_pending(Irp* irp) {
  if (IrpStackLocation* current = get_current_stack_location(irp)) current->control |= kStackPendingReturned;
}

void set_completion_routine(Irp* irp, CompletionRoutine routine, void* context, bool on_success,
                            bool on_error, bool on_cancel) {
  IrpStackLocation* next = get_next_stack_location(irp);
  if (next == nullptr) fatal("completion routine without a next stack location");
  next->completion_routine = routine;
  next->context = context;
  next->control = 0;
  if (on_success) next->control |= kStackInvokeOnSuccess;
  if (on_error) next->control |= kStackInvokeOnError;
  if (on_cancel) next->control |= kStackInvokeOnCancel;
}

NtStatus call_driver(DeviceObject* device, Irp* irp) {
  if (device == nullptr || irp == nullptr) return kStatusInvalidParameter;
  --irp->current_location;
  if (irp->current_location < 1) fatal("request passed below the bottom of its stack");
  IrpStackLocation* location = get_current_stack_location(irp);
  location->device = device;
  std::uint8_t major = location->major_function;
  if (major >= kMajorFunctionCount) fatal("bad major function");
  DispatchRoutine dispatch = device->driver->major_function[major];
  return dispatch(device, irp);
}

void complete_request(Irp* irp, std::int8_t priority_boost) {
  (void)priority_boost;
  if (irp->io_status.status == kStatusPending) fatal("request completed with a pending status");
  while (irp->current_location <= irp->stack_count) {
    IrpStackLocation* location = get_current_stack_location(irp);
    irp->pending_returned = (location->control & kStackPendingReturned) != 0;
    bool invoke = should_invoke(location, irp);
    CompletionRoutine routine = location->completion_routine;
    void* context = location->context;
    location->completion_routine = nullptr;
    location->context = nullptr;
    ++irp->current_location;
    IrpStackLocation* upper = get_current_stack_location(irp);
    DeviceObject* device = upper ? upper->device : nullptr;
    if (invoke) {
      if (routine(device, irp, context) == kStatusMoreProcessingRequired) return;
    } else if (irp->pending_returned && upper) {
      upper->control |= kStackPendingReturned;
    }
  }
  finish_request(irp);
}

void start_next_power_irp(Irp*) {}

NtStatus call_power_driver(DeviceObject* device, Irp* irp) { return call_driver(device, irp); }

Irp* build_device_io_control_request(std::uint32_t code, DeviceObject* device, const void* input,
                                     std::uint32_t input_length, void* output,
                                     std::uint32_t output_length, bool internal,
                                     KernelEvent* event, IoStatusBlock* io_status) {
  if (device == nullptr) return nullptr;
  if ((input_length && input == nullptr) || (output_length && output == nullptr)) return nullptr;
  Irp* irp = allocate_irp(device->stack_size);
  if (irp == nullptr) return nullptr;
  std::size_t size = std::max(input_length, output_length);
  if (size > 0) {
    irp->system_buffer = std::calloc(1, size);
    if (irp->system_buffer == nullptr) {
      free_irp(irp);
      return nullptr;
    }
    if (input_length) std::memcpy(irp->system_buffer, input, input_length);
  }
  irp->internal_flags = kIrpBuffered | kIrpFreeOnCompletion | kIrpOwnsSystemBuffer;
  irp->user_buffer = output;
  irp->user_buffer_length = output_length;
  irp->user_event = event;
  irp->user_io_status = io_status;
  IrpStackLocation* next = get_next_stack_location(irp);
  next->major_function = internal ? kMajorInternalDeviceControl : kMajorDeviceControl;
  next->parameters.device_io_control.io_control_code = code;
  next->parameters.device_io_control.input_buffer_length = input_length;
  next->parameters.device_io_control.output_buffer_length = output_length;
  return irp;
}

Irp* build_synchronous_request(DeviceObject* device, std::uint8_t major_function,
                               KernelEvent* event, IoStatusBlock* io_status) {
  if (device == nullptr) return nullptr;
  Irp* irp = allocate_irp(device->stack_size);
  if (irp == nullptr) return nullptr;
  irp->internal_flags = kIrpFreeOnCompletion;
  irp->user_event = event;
  irp->user_io_status = io_status;
  irp->io_status.status = kStatusNotSupported;
  get_next_stack_location(irp)->major_function = major_function;
  return irp;
}

NtStatus send_and_wait(DeviceObject* device, Irp* irp, KernelEvent* event, IoStatusBlock* io_status) {
  NtStatus status = call_driver(device, irp);
  if (status == kStatusPending) {
    wait_for_object(event, nullptr);
    status = io_status->status;
  }
  return status;
}

namespace detail {

NtStatus open_file_object(DeviceObject* device, const ClientInfo* client, bool by_kernel,
                          FileObject** out) {
  if (device == nullptr || out == nullptr) return kStatusInvalidParameter;
  auto* file = new FileObject{};
  file->device = device;
  file->opened_by_kernel = by_kernel;
  if (client) file->opener = *client;
  file->references = 1;
  reference_object(device);
  NtStatus status = send_file_request(file, kMajorCreate);
  if (!nt_success(status)) {
    dereference_object(device);
    delete file;
    return status;
  }
  *out = file;
  return kStatusSuccess;
}

}  // namespace detail

void dereference_object(FileObject* file) {
  if (file == nullptr) return;
  {
    std::lock_guard guard(file_lock());
    if (--file->references > 0) return;
  }
  send_file_request(file, kMajorCleanup);
  send_file_request(file, kMajorClose);
  dereference_object(file->device);
  delete file;
}

}  // namespace plat::kernel

namespace plat::kernel::detail {

Irp* build_user_device_control_request(FileObject* file, const ClientInfo* client, std::uint32_t code,
                                       void* system_buffer, std::uint32_t input_length,
                                       std::uint32_t output_length, KernelEvent* event,
                                       IoStatusBlock* io_status) {
  if (file == nullptr || file->device == nullptr) return nullptr;
  if (system_buffer == nullptr && (input_length != 0 || output_length != 0)) return nullptr;
  Irp* irp = take_thread_storage(file->device->stack_size);
  if (irp == nullptr) irp = allocate_irp(file->device->stack_size);
  if (irp == nullptr) return nullptr;
  if (input_length != 0 || output_length != 0) irp->system_buffer = system_buffer;
  irp->internal_flags |= kIrpBuffered;
  irp->user_event = event;
  irp->user_io_status = io_status;
  irp->client = client;
  IrpStackLocation* next = get_next_stack_location(irp);
  next->major_function = kMajorDeviceControl;
  next->parameters.device_io_control.io_control_code = code;
  next->parameters.device_io_control.input_buffer_length = input_length;
  next->parameters.device_io_control.output_buffer_length = output_length;
  next->file = file;
  return irp;
}

}  // namespace plat::kernel::detail
