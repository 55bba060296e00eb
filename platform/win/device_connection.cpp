// The client end of the device transport's socket.
//
// Threads of a process share one socket. Each sends its request whole (header
// and input in one write) under the write lock, then waits for its answer;
// whichever waiting thread finds nobody reading becomes the reader, hands each
// answer to the thread it belongs to (by id, straight into that thread's
// output buffer) and steps down once its own answer is in. An answer usually
// takes one read. No thread is made for this and nothing is allocated per
// request.
#include "platform/win/device_connection.h"

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace plat::device_link {

using transport::TransportAnswer;
using transport::TransportRequest;

struct Pending {
  std::uint32_t id;
  void* out;
  std::uint32_t out_capacity;
  TransportAnswer answer;
  bool done;
  bool failed;
  Pending* next;
};

Connection::~Connection() {
  if (fd >= 0) ::close(fd);
}

namespace {

void mark_broken_locked(Connection& connection) {
  connection.broken = true;
  ::shutdown(connection.fd, SHUT_RDWR);
}

// With the connection's lock held.
void add_pending(Connection& connection, Pending* pending) {
  pending->next = connection.pending;
  connection.pending = pending;
  ++connection.pending_count;
}

// With the connection's lock held: takes the request out; false when it was not in.
bool remove_pending(Connection& connection, Pending* pending) {
  for (Pending** at = &connection.pending; *at != nullptr; at = &(*at)->next) {
    if (*at != pending) continue;
    *at = pending->next;
    --connection.pending_count;
    return true;
  }
  return false;
}

Pending* take_pending(Connection& connection, std::uint32_t id) {
  for (Pending* p = connection.pending; p != nullptr; p = p->next) {
    if (p->id != id) continue;
    remove_pending(connection, p);
    return p;
  }
  return nullptr;
}

void complete(Connection& connection, Pending* target, const TransportAnswer& answer, bool ok) {
  std::lock_guard lock(connection.mutex);
  target->answer = answer;
  target->failed = !ok;
  target->done = true;
}

constexpr std::size_t kReceiveBytes = 64 * 1024;

// Fills `out` from what was received, reading the socket when that runs
// short: one read usually brings an answer whole, and several at once when
// they are waiting. False when the connection is lost.
bool take_received(Connection& connection, std::byte* out, std::size_t size) {
  std::vector<std::byte>& buffer = connection.received;
  if (buffer.empty()) buffer.resize(kReceiveBytes);
  while (size > 0) {
    if (connection.received_begin == connection.received_end) {
      connection.received_begin = connection.received_end = 0;
      // Large outputs go straight to their place.
      if (out != nullptr && size >= buffer.size()) return transport::receive_all(connection.fd, out, size);
      ssize_t n;
      do n = ::recv(connection.fd, buffer.data(), buffer.size(), 0);
      while (n < 0 && errno == EINTR);
      if (n <= 0) return false;
      connection.received_end = static_cast<std::size_t>(n);
    }
    const std::size_t take = std::min(size, connection.received_end - connection.received_begin);
    if (out != nullptr) {
      std::memcpy(out, buffer.data() + connection.received_begin, take);
      out += take;
    }
    connection.received_begin += take;
    size -= take;
  }
  return true;
}

// Reads one answer and completes the request it belongs to (its output
// dropped when the request is gone or the output does not fit). False when
// the connection is lost.
bool read_one_answer(Connection& connection) {
  TransportAnswer answer{};
  if (!take_received(connection, reinterpret_cast<std::byte*>(&answer), sizeof answer)) return false;
  Pending* target = nullptr;
  {
    std::lock_guard lock(connection.mutex);
    target = take_pending(connection, answer.id);
  }
  const bool fits = target != nullptr && answer.output_size <= target->out_capacity;
  const bool ok = take_received(connection, fits ? static_cast<std::byte*>(target->out) : nullptr, answer.output_size);
  if (target != nullptr) complete(connection, target, answer, ok && fits);
  return ok;
}

bool send_request(Connection& connection, const TransportRequest& request, const void* input) {
  iovec parts[2] = {{const_cast<TransportRequest*>(&request), sizeof request},
                    {const_cast<void*>(input), request.input_size}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = request.input_size != 0 ? 2 : 1;
  std::size_t total = sizeof request + request.input_size;
  std::lock_guard lock(connection.write_mutex);
  ssize_t n;
  do n = ::sendmsg(connection.fd, &message, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  auto sent = static_cast<std::size_t>(n);
  if (sent == total) return true;
  // A short write (a large input): the rest as it goes.
  if (sent < sizeof request) {
    if (!transport::send_all(connection.fd, reinterpret_cast<const std::byte*>(&request) + sent, sizeof request - sent))
      return false;
    sent = sizeof request;
  }
  const std::size_t into_input = sent - sizeof request;
  return transport::send_all(connection.fd, static_cast<const std::byte*>(input) + into_input,
                             request.input_size - into_input);
}

int connect_socket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The host reads and writes our memory at addresses named in requests; where
// ptrace is restricted to ancestors, that needs our consent.
void allow_host_access(int fd) {
  ucred host{};
  socklen_t length = sizeof host;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &host, &length) == 0 && host.pid > 0)
    ::prctl(PR_SET_PTRACER, static_cast<unsigned long>(host.pid), 0, 0, 0);
}

// The welcome, and the arena descriptor attached to it (-1 when none).
bool receive_welcome(int fd, transport::TransportWelcome* welcome, int* arena_fd) {
  *arena_fd = -1;
  iovec iov{welcome, sizeof *welcome};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &iov;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n;
  do n = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len == CMSG_LEN(sizeof(int)))
      std::memcpy(arena_fd, CMSG_DATA(header), sizeof(int));
  }
  auto received = static_cast<std::size_t>(n);
  bool whole = received == sizeof *welcome ||
               transport::receive_all(fd, reinterpret_cast<std::byte*>(welcome) + received,
                                      sizeof *welcome - received);
  return whole && welcome->magic == transport::kWelcomeMagic &&
         welcome->version == transport::kWireVersion;
}

// The arena views of this process, by the arena's file identity: a host that
// is reconnected to hands over the same arena, seen at the same address, and
// addresses the driver gave out stay valid for the life of the process.
struct ArenaView {
  dev_t device;
  ino_t inode;
  std::uint64_t address;
};

std::uint64_t arena_view(int arena_fd, std::uint64_t size) {
  static std::mutex mutex;
  static std::vector<ArenaView> views;
  struct stat identity{};
  if (arena_fd < 0 || size == 0 || size > 0x100000000 || ::fstat(arena_fd, &identity) != 0 ||
      static_cast<std::uint64_t>(identity.st_size) < size)
    return 0;
  std::lock_guard lock(mutex);
  for (const ArenaView& view : views)
    if (view.device == identity.st_dev && view.inode == identity.st_ino) return view.address;
  // Below 2 GB where there is room, so that a 32-bit caller can hold the
  // addresses the driver gives out in its 4-byte fields.
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_32BIT, arena_fd, 0);
  if (view == MAP_FAILED)
    view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, arena_fd, 0);
  if (view == MAP_FAILED) return 0;
  auto address = reinterpret_cast<std::uint64_t>(view);
  views.push_back({identity.st_dev, identity.st_ino, address});
  return address;
}

}  // namespace

std::shared_ptr<Connection> connect(const std::string& path, bool is_32bit) {
  int fd = connect_socket(path);
  if (fd < 0) return nullptr;
  auto connection = std::make_shared<Connection>();
  connection->fd = fd;
  connection->path = path;
  allow_host_access(fd);
  transport::TransportWelcome welcome{};
  int arena_fd = -1;
  if (!receive_welcome(fd, &welcome, &arena_fd)) {
    if (arena_fd >= 0) ::close(arena_fd);
    return nullptr;
  }
  transport::TransportHello hello{transport::kHelloMagic, is_32bit ? 1u : 0u,
                                  arena_view(arena_fd, welcome.arena_size)};
  if (arena_fd >= 0) ::close(arena_fd);
  if (!transport::send_all(fd, &hello, sizeof hello)) return nullptr;
  return connection;
}

bool transact(Connection& connection, TransportRequest request, const void* input, void* out,
              TransportAnswer* answer) {
  Pending pending{0, out, request.output_size, {}, false, false, nullptr};
  std::unique_lock lock(connection.mutex);
  if (connection.broken) return false;
  request.id = connection.next_id++;
  if (connection.next_id == 0) connection.next_id = 1;  // 0 is never an answer's id
  pending.id = request.id;
  add_pending(connection, &pending);
  lock.unlock();
  bool sent = send_request(connection, request, input);
  lock.lock();
  if (!sent) mark_broken_locked(connection);
  while (!pending.done) {
    // Once a reader took the request it completes it; until then we may leave.
    if (connection.broken && remove_pending(connection, &pending)) {
      connection.changed.notify_all();
      return false;
    }
    if (connection.reading) {
      connection.changed.wait(lock);
      continue;
    }
    connection.reading = true;
    lock.unlock();
    bool ok = read_one_answer(connection);
    lock.lock();
    connection.reading = false;
    if (!ok) mark_broken_locked(connection);
    connection.changed.notify_all();
  }
  *answer = pending.answer;
  return !pending.failed;
}

bool is_broken(Connection& connection) {
  std::lock_guard lock(connection.mutex);
  return connection.broken;
}

void disconnect(Connection& connection) {
  {
    std::lock_guard lock(connection.mutex);
    mark_broken_locked(connection);
  }
  connection.changed.notify_all();
}

}  // namespace plat::device_link
