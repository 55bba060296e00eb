// I/O requests: a request carries one stack location per device of the stack
// it travels down; each driver reads its own location, may set a completion
// routine in the next one, and passes the request down or completes it.
#pragma once

#include <cstdint>

#include "platform/kernel/device.h"
#include "platform/kernel/pnp.h"
#include "platform/kernel/sync.h"

namespace plat::kernel {

struct IoStatusBlock {
  NtStatus status;
  std::uint64_t information;
};

// A completion routine answering this stops the completion walk; the routine
// then owns the request (completes it again or frees it).
inline constexpr NtStatus kStatusMoreProcessingRequired = static_cast<NtStatus>(0xC0000016u);

using CompletionRoutine = NtStatus (*)(DeviceObject* device, Irp* irp, void* context);

inline constexpr std::uint8_t kStackPendingReturned = 0x01;
inline constexpr std::uint8_t kStackInvokeOnCancel = 0x20;
inline constexpr std::uint8_t kStackInvokeOnSuccess = 0x40;
inline constexpr std::uint8_t kStackInvokeOnError = 0x80;

struct IrpStackLocation {
  std::uint8_t major_function;
  std::uint8_t minor_function;
  std::uint8_t flags;
  std::uint8_t control;
  union {
    struct {
      std::uint32_t desired_access;
      std::uint32_t options;
    } create;
    struct {
      std::uint32_t output_buffer_length;
      std::uint32_t input_buffer_length;
      std::uint32_t io_control_code;
      void* type3_input_buffer;
    } device_io_control;
    struct {
      ResourceList* allocated_resources;
      ResourceList* allocated_resources_translated;
    } start_device;
    struct {
      std::uint32_t which_space;
      void* buffer;
      std::uint32_t offset;
      std::uint32_t length;
    } read_write_config;
    struct {
      std::uint32_t system_context;
      PowerStateType type;
      std::uint32_t state;
      std::uint32_t shutdown_type;
    } power;
    struct {
      void* argument1;
      void* argument2;
      void* argument3;
      void* argument4;
    } others;
  } parameters;
  DeviceObject* device;
  FileObject* file;
  CompletionRoutine completion_routine;
  void* context;
};

struct Irp {
  IoStatusBlock io_status;
  void* system_buffer;  // buffered requests: input in, output out
  std::int8_t stack_count;
  std::int8_t current_location;  // stack_count + 1 before the first call_driver
  bool pending_returned;
  bool cancel;
  std::uint32_t internal_flags;
  // Where the request ends: output copied to user_buffer, status stored and
  // user_event signalled when the last completion routine lets it go.
  IoStatusBlock* user_io_status;
  KernelEvent* user_event;
  void* user_buffer;
  std::uint32_t user_buffer_length;
  const ClientInfo* client;  // the user request it serves, null for kernel requests
  IrpStackLocation* stack;   // stack_count locations
};

// A request with stack_size locations, owned by the caller: free it with
// free_irp (usually in a completion routine answering kStatusMoreProcessingRequired).
Irp* allocate_irp(std::int8_t stack_size);
void free_irp(Irp* irp);

IrpStackLocation* get_current_stack_location(Irp* irp);
IrpStackLocation* get_next_stack_location(Irp* irp);
void skip_current_stack_location(Irp* irp);
void copy_current_stack_location_to_next(Irp* irp);
void mark_irp_pending(Irp* irp);
void set_completion_routine(Irp* irp, CompletionRoutine routine, void* context, bool on_success,
                            bool on_error, bool on_cancel);

// Hands the request to device's dispatch routine for the next stack location.
NtStatus call_driver(DeviceObject* device, Irp* irp);
// Runs the completion routines upward and finishes the request.
void complete_request(Irp* irp, std::int8_t priority_boost);
inline constexpr std::int8_t kIoNoIncrement = 0;

// Power requests are passed down the same way.
void start_next_power_irp(Irp* irp);
NtStatus call_power_driver(DeviceObject* device, Irp* irp);

// A device-control request with buffered semantics, freed when it completes:
// the output (information bytes at most output_length) is copied to output,
// *io_status set and event signalled. Send with call_driver; when it answers
// kStatusPending wait on the event.
Irp* build_device_io_control_request(std::uint32_t code, DeviceObject* device, const void* input,
                                     std::uint32_t input_length, void* output,
                                     std::uint32_t output_length, bool internal,
                                     KernelEvent* event, IoStatusBlock* io_status);
// A synchronous request without buffers (PnP, power) for the stack of device,
// freed when it completes.
Irp* build_synchronous_request(DeviceObject* device, std::uint8_t major_function,
                               KernelEvent* event, IoStatusBlock* io_status);

// Sends a built request and waits for it; answers its final status.
NtStatus send_and_wait(DeviceObject* device, Irp* irp, KernelEvent* event, IoStatusBlock* io_status);

// Device-control codes.
inline constexpr std::uint32_t kMethodBuffered = 0;
inline constexpr std::uint32_t kFileAnyAccess = 0;
constexpr std::uint32_t control_code(std::uint32_t device_type, std::uint32_t function,
                                     std::uint32_t method, std::uint32_t access) {
  return (device_type << 16) | (access << 14) | (function << 2) | method;
}

}  // namespace plat::kernel
