// The kernel host's side of the device transport: one Unix socket in the
// machine directory; each client connection carries the requests of one
// process. The transport knows nothing of drivers: it hands every request to
// the RequestSink the kernel registers and sends the answer back, header and
// output in one write.
//
// A request runs on the thread that read it, straight from the socket. Should
// it block (a kernel wait that sleeps, a sleep or stall, or anything the sink
// announces with notice_blocking, blocking.h), the connection's reading
// passes at once to another thread of a pool that grows as needed, so a
// request that waits never holds the socket and requests of several client
// threads run at once; the blocked thread answers its request when it is done
// and goes back to the pool. A connection that closes (the process closed its
// last device or died) becomes one close call per file the process still had
// open, after every request still running for it has finished, and then the
// release of its locked memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/win/process.h"

namespace plat::kernel {

// Who is calling: filled by the transport from the socket's credentials and
// the client's hello.
struct ClientInfo {
  ProcessIdentity process;
  std::uint32_t connection_id;  // unique per client connection of this host run
  std::uint32_t is_32bit;       // the caller uses the 32-bit record forms (per request)
  std::uint64_t arena_view;     // where the client mapped the physical-memory arena
};

// Implemented by the kernel; called concurrently from the transport's workers.
struct RequestSink {
  // Opens a device by its user-mode name ("\\.\STAVRO", "\\.\STAVRO1").
  // Answers an NT status; on success *file is the kernel's file object.
  std::int32_t (*create)(const ClientInfo& client, const char* device_name, void** file);
  // A device-control request with buffered semantics. `buffer` is the
  // request's system buffer, max(input_size, output_size) bytes: the input at
  // its start, zeros after it; the output is written over it in place and
  // *information is the count the driver reported. Unless the status is an
  // error, the first `information` bytes (at most output_size) go back to the
  // caller straight from the buffer; on an error none do.
  std::int32_t (*device_control)(void* file, const ClientInfo& client, std::uint32_t code,
                                 std::span<std::byte> buffer, std::uint32_t input_size,
                                 std::uint32_t output_size, std::uint64_t* information);
  // Close of one file: by the client, or because the client is gone.
  void (*close)(void* file, const ClientInfo& client);
};

// Starts serving on <machine>/kernel-host.sock; false when the socket cannot
// be made or another host already serves this machine.
bool transport_start(const RequestSink& sink);
// Stops accepting, closes every connection (each open file gets its close) and joins.
void transport_stop();
std::string transport_socket_path();

// Copies to and from the calling client's memory at addresses named inside
// records. False (nothing or part copied) when the address range is not
// readable or writable in that process.
bool read_client_memory(const ClientInfo& client, std::uint64_t address, std::span<std::byte> out);
bool write_client_memory(const ClientInfo& client, std::uint64_t address,
                         std::span<const std::byte> data);

}  // namespace plat::kernel
