#include "platform/kernel/client.h"

#include <span>

#include "platform/kernel/physical_memory.h"

namespace plat::kernel {

struct UserEvent {
  plat::Handle handle;  // the kernel's own reference
};

namespace {
thread_local const ClientInfo* t_client = nullptr;
}

const ClientInfo* current_client() { return t_client; }

std::int32_t current_process_id() { return t_client ? t_client->process.pid : 0; }

bool current_process_is_32bit() { return t_client && t_client->is_32bit != 0; }

ScopedClient::ScopedClient(const ClientInfo* client) : previous_(t_client) { t_client = client; }

ScopedClient::~ScopedClient() { t_client = previous_; }

NtStatus copy_from_caller(std::uint64_t address, void* out, std::size_t size) {
  if (size == 0) return kStatusSuccess;
  if (t_client == nullptr || out == nullptr || address == 0) return kStatusAccessViolation;
  std::span<std::byte> target(static_cast<std::byte*>(out), size);
  return read_client_memory(*t_client, address, target) ? kStatusSuccess : kStatusAccessViolation;
}

NtStatus copy_to_caller(std::uint64_t address, const void* data, std::size_t size) {
  if (size == 0) return kStatusSuccess;
  if (t_client == nullptr || data == nullptr || address == 0) return kStatusAccessViolation;
  std::span<const std::byte> source(static_cast<const std::byte*>(data), size);
  return write_client_memory(*t_client, address, source) ? kStatusSuccess : kStatusAccessViolation;
}

NtStatus map_physical_into_caller(std::uint64_t physical, std::uint64_t length,
                                  std::uint64_t* user_address) {
  if (user_address == nullptr || length == 0) return kStatusInvalidParameter;
  if (t_client == nullptr) return kStatusAccessViolation;
  std::uint64_t first = physmem_client_address(*t_client, physical);
  std::uint64_t last = physmem_client_address(*t_client, physical + length - 1);
  if (first == 0 || last == 0 || last - first != length - 1) return kStatusInvalidParameter;
  *user_address = first;
  return kStatusSuccess;
}

NtStatus unmap_from_caller(std::uint64_t user_address) {
  // Every client maps the whole arena once; a view inside it needs no undoing.
  return user_address != 0 ? kStatusSuccess : kStatusInvalidParameter;
}

NtStatus reference_user_event(plat::Handle handle, UserEvent** out) {
  if (out == nullptr) return kStatusInvalidParameter;
  *out = nullptr;
  if (handle == kNullHandle || object_kind(handle) != ObjectKind::kEvent) return kStatusInvalidHandle;
  plat::Handle own = duplicate_handle(handle);
  if (own == kNullHandle) return kStatusInvalidHandle;
  *out = new UserEvent{own};
  return kStatusSuccess;
}

void signal_user_event(UserEvent* event) {
  if (event) plat::set_event(event->handle);
}

void clear_user_event(UserEvent* event) {
  if (event) plat::reset_event(event->handle);
}

void dereference_user_event(UserEvent* event) {
  if (event == nullptr) return;
  close_handle(event->handle);
  delete event;
}

}  // namespace plat::kernel
