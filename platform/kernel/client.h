// The user process a request comes from: its identity and width, safe copies
// from and to its memory at addresses named inside records, mapping physical
// memory into it, and its event handles referenced and signalled by drivers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kernel/transport_server.h"
#include "platform/win/nt_status.h"
#include "platform/win/objects.h"

namespace plat::kernel {

// The client of the request the calling thread serves; null outside one.
const ClientInfo* current_client();
// The calling process's id (0 outside a request) and width.
std::int32_t current_process_id();
bool current_process_is_32bit();

// Sets the current client for the lifetime of the object (the I/O manager).
class ScopedClient {
 public:
  explicit ScopedClient(const ClientInfo* client);
  ~ScopedClient();
  ScopedClient(const ScopedClient&) = delete;
  ScopedClient& operator=(const ScopedClient&) = delete;

 private:
  const ClientInfo* previous_;
};

// kStatusAccessViolation when the range is not readable (writable) in the
// current client, or when there is no current client.
NtStatus copy_from_caller(std::uint64_t address, void* out, std::size_t size);
NtStatus copy_to_caller(std::uint64_t address, const void* data, std::size_t size);

// Maps a range of physical memory (contiguous memory of the kernel) into the
// current client: *user_address is where the client sees the first byte.
NtStatus map_physical_into_caller(std::uint64_t physical, std::uint64_t length,
                                  std::uint64_t* user_address);
NtStatus unmap_from_caller(std::uint64_t user_address);

// A user event (a handle of the machine-wide object table) kept alive by the
// kernel until dereferenced.
struct UserEvent;
// kStatusInvalidHandle when the handle names no event.
NtStatus reference_user_event(plat::Handle handle, UserEvent** out);
void signal_user_event(UserEvent* event);
void clear_user_event(UserEvent* event);
void dereference_user_event(UserEvent* event);

}  // namespace plat::kernel
