// The records the device transport exchanges over the kernel host's socket,
// shared by the host (transport_server.cpp) and its clients (platform/win/device.cpp).
//
// A connection runs:
//   host -> client  TransportWelcome, with the arena's memfd attached (SCM_RIGHTS)
//                   when the host has one;
//   client -> host  TransportHello, once the client mapped the arena;
//   then any number of TransportRequest (+ input bytes) from the client, each
//   answered by one TransportAnswer (+ output bytes), in completion order: the
//   id ties an answer to its request.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace plat::transport {

inline constexpr std::uint32_t kWelcomeMagic = 0x57454C51;  // "QLEW"
inline constexpr std::uint32_t kHelloMagic = 0x4C454851;    // "QHEL"
inline constexpr std::uint32_t kWireVersion = 1;

// The host's socket, in the machine directory.
inline constexpr char kSocketName[] = "kernel-host.sock";

// Records are small; anything bigger travels by addresses inside the records.
inline constexpr std::uint32_t kMaxInputBytes = 1u << 20;
inline constexpr std::uint32_t kMaxOutputBytes = 1u << 20;
// Device names are "\\.\NAME"; the terminator is not sent.
inline constexpr std::uint32_t kMaxDeviceNameBytes = 259;

struct TransportWelcome {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint64_t arena_size;  // 0 when no descriptor is attached
};
static_assert(sizeof(TransportWelcome) == 16);
static_assert(offsetof(TransportWelcome, arena_size) == 8);

struct TransportHello {
  std::uint32_t magic;
  std::uint32_t is_32bit;
  std::uint64_t arena_view;  // the client's address of the arena's first byte, 0 if none
};
static_assert(sizeof(TransportHello) == 16);
static_assert(offsetof(TransportHello, arena_view) == 8);

enum class RequestKind : std::uint32_t { kCreate = 1, kDeviceControl = 2, kClose = 3 };

// Followed by input_size bytes: the device name for kCreate, the input record
// for kDeviceControl, nothing for kClose.
struct TransportRequest {
  RequestKind kind;
  std::uint32_t id;
  std::uint32_t file_id;  // from the create's answer; 0 for kCreate
  std::uint32_t code;
  std::uint32_t input_size;
  std::uint32_t output_size;
  std::uint32_t is_32bit;
  std::uint32_t reserved;
};
static_assert(sizeof(TransportRequest) == 32);
static_assert(offsetof(TransportRequest, id) == 4);
static_assert(offsetof(TransportRequest, file_id) == 8);
static_assert(offsetof(TransportRequest, code) == 12);
static_assert(offsetof(TransportRequest, input_size) == 16);
static_assert(offsetof(TransportRequest, output_size) == 20);
static_assert(offsetof(TransportRequest, is_32bit) == 24);

// Followed by output_size bytes. A status that is not an error (success,
// information, warning) brings back the first `information` bytes of the
// zero-filled output buffer (at most its length), as buffered I/O does; an
// error brings back none.
struct TransportAnswer {
  std::uint32_t id;
  std::int32_t status;
  std::uint64_t information;
  std::uint32_t file_id;  // the new file for a successful kCreate
  std::uint32_t output_size;
};
static_assert(sizeof(TransportAnswer) == 24);
static_assert(offsetof(TransportAnswer, status) == 4);
static_assert(offsetof(TransportAnswer, information) == 8);
static_assert(offsetof(TransportAnswer, file_id) == 16);
static_assert(offsetof(TransportAnswer, output_size) == 20);

// NT error severity: the top two bits set.
inline constexpr bool is_error_status(std::int32_t status) {
  return (static_cast<std::uint32_t>(status) >> 30) == 3;
}

// Whole-buffer socket I/O, restarted on signals. False on end of stream or error.
inline bool send_all(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::byte*>(data);
  while (size > 0) {
    ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

inline bool receive_all(int fd, void* data, std::size_t size) {
  auto* p = static_cast<std::byte*>(data);
  while (size > 0) {
    ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads and drops `size` bytes (an answer whose receiver no longer waits).
inline bool discard(int fd, std::size_t size) {
  std::byte sink[4096];
  while (size > 0) {
    std::size_t chunk = size < sizeof sink ? size : sizeof sink;
    if (!receive_all(fd, sink, chunk)) return false;
    size -= chunk;
  }
  return true;
}

}  // namespace plat::transport
