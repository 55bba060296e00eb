// The kernel host's listening socket, the reading of its connections and the
// clean-up of a connection that ends.
#include "platform/kernel/transport_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/kernel/physical_memory.h"
#include "platform/kernel/transport_connection.h"
#include "platform/kernel/transport_workers.h"
#include "platform/win/machine.h"

namespace plat::kernel {
namespace transport_host {
namespace {

// Threads ready at start: enough for a few clients without making any.
constexpr std::size_t kInitialThreads = 4;
// Requests of one connection that may be blocked at once; past this a request
// that blocks keeps the reading (the client's further requests wait in its socket).
constexpr std::uint32_t kMaxHandedOff = 256;
constexpr std::size_t kReadBufferBytes = 64 * 1024;

struct Server {
  std::mutex mutex;
  std::condition_variable all_finished;
  bool running = false;
  RequestSink sink{};
  int listen_fd = -1;
  int wake_fd = -1;
  std::string path;
  std::thread acceptor;
  std::uint32_t next_connection_id = 1;
  std::map<std::uint32_t, std::shared_ptr<Connection>> connections;
};

Server& server() {
  static Server instance;
  return instance;
}

bool make_address(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when a live host already answers on the socket.
bool someone_listens(const sockaddr_un& address) {
  int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  bool answered =
      ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return answered;
}

int listen_on(const std::string& path) {
  sockaddr_un address;
  if (!make_address(path, &address) || someone_listens(address)) return -1;
  ::unlink(path.c_str());  // left behind by a host that died
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 64) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool send_welcome(int fd) {
  transport::TransportWelcome welcome{transport::kWelcomeMagic, transport::kWireVersion, 0};
  int arena = physmem_arena_fd();
  if (arena >= 0) welcome.arena_size = physmem_arena_size();
  iovec iov{&welcome, sizeof welcome};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &iov;
  message.msg_iovlen = 1;
  if (arena >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &arena, sizeof(int));
  }
  ssize_t n;
  do n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof welcome);
}

// The peer's identity is checked here, once for the life of the connection.
bool handshake(Connection& connection) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(connection.fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
      credentials.pid <= 0)
    return false;
  connection.client.process.pid = credentials.pid;
  connection.client.process.start_time = process_start_time(credentials.pid);
  if (connection.client.process.start_time == 0 || !send_welcome(connection.fd)) return false;
  transport::TransportHello hello{};
  if (!transport::receive_all(connection.fd, &hello, sizeof hello) ||
      hello.magic != transport::kHelloMagic)
    return false;
  connection.client.is_32bit = hello.is_32bit != 0 ? 1 : 0;
  connection.client.arena_view = hello.arena_view;
  client_identity_confirmed(connection.client);
  return true;
}

bool valid_request(const transport::TransportRequest& request) {
  switch (request.kind) {
    case transport::RequestKind::kCreate:
      return request.input_size > 0 && request.input_size <= transport::kMaxDeviceNameBytes &&
             request.output_size == 0;
    case transport::RequestKind::kDeviceControl:
      return request.input_size <= transport::kMaxInputBytes &&
             request.output_size <= transport::kMaxOutputBytes;
    case transport::RequestKind::kClose:
      return request.input_size == 0 && request.output_size == 0;
  }
  return false;
}

// The next request, its input inside the read buffer (valid until the next
// read). Reads as much as the socket has, so a request usually takes one
// read, and a client's burst of requests fewer. False when the stream ends or
// breaks the protocol.
bool next_request(Connection& connection, transport::TransportRequest* request,
                  std::span<const std::byte>* input) {
  ReadBuffer& in = connection.received;
  constexpr std::size_t kHeader = sizeof(transport::TransportRequest);
  for (;;) {
    const std::size_t available = in.end - in.begin;
    std::size_t needed = kHeader;
    if (available >= kHeader) {
      std::memcpy(request, in.bytes.data() + in.begin, kHeader);
      if (!valid_request(*request)) return false;
      needed += request->input_size;
      if (available >= needed) {
        *input = std::span<const std::byte>(in.bytes.data() + in.begin + kHeader, request->input_size);
        in.begin += needed;
        if (in.begin == in.end) in.begin = in.end = 0;
        return true;
      }
    }
    if (in.bytes.size() - in.begin < needed) {
      std::memmove(in.bytes.data(), in.bytes.data() + in.begin, available);
      in.begin = 0;
      in.end = available;
      if (in.bytes.size() < needed) in.bytes.resize(needed);
    }
    ssize_t n;
    do n = ::recv(connection.fd, in.bytes.data() + in.end, in.bytes.size() - in.end, 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    in.end += static_cast<std::size_t>(n);
  }
}

void forget_connection(const std::shared_ptr<Connection>& connection) {
  Server& s = server();
  {
    std::lock_guard lock(s.mutex);
    s.connections.erase(connection->client.connection_id);
  }
  s.all_finished.notify_all();
}

// What a close by the client would have done, for every file it left open,
// once the requests still running for it are done.
void close_down(const std::shared_ptr<Connection>& connection) {
  Connection& c = *connection;
  ::shutdown(c.fd, SHUT_RDWR);
  std::map<std::uint32_t, OpenFile> left;
  {
    std::unique_lock lock(c.mutex);
    c.changed.wait(lock, [&] { return c.handed_off == 0; });
    left.swap(c.files);
  }
  const RequestSink& sink = current_sink();
  for (auto& [id, open_file] : left) sink.close(open_file.file, c.client);
  physmem_release_client(c.client.connection_id);
  client_identity_forgotten(c.client);
  {
    // No answer may be on its way into a reused descriptor.
    std::lock_guard lock(c.write_mutex);
    ::close(c.fd);
    c.fd = -1;
  }
  forget_connection(connection);
}

void accept_connections() {
  Server& s = server();
  for (;;) {
    pollfd fds[2] = {{s.listen_fd, POLLIN, 0}, {s.wake_fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    int fd = ::accept4(s.listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: give the closing connections a moment.
      if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->received.bytes.resize(kReadBufferBytes);
    {
      std::lock_guard lock(s.mutex);
      connection->client.connection_id = s.next_connection_id++;
      s.connections[connection->client.connection_id] = connection;
    }
    if (!transport_workers::post(connection)) {
      ::close(fd);
      connection->fd = -1;
      forget_connection(connection);
    }
  }
}

}  // namespace

const RequestSink& current_sink() { return server().sink; }

void serve_turn(const std::shared_ptr<Connection>& connection) {
  Connection& c = *connection;
  if (!c.greeted) {
    c.greeted = true;
    if (!handshake(c)) {
      close_down(connection);
      return;
    }
  }
  transport::TransportRequest request{};
  std::span<const std::byte> input;
  while (next_request(c, &request, &input)) {
    if (run_request(connection, request, input)) return;
  }
  close_down(connection);
}

std::uint32_t max_handed_off() { return kMaxHandedOff; }

}  // namespace transport_host

using namespace transport_host;

std::string transport_socket_path() { return machine_path(transport::kSocketName); }

bool transport_start(const RequestSink& sink) {
  Server& s = server();
  std::lock_guard lock(s.mutex);
  if (s.running || !sink.create || !sink.device_control || !sink.close || machine_dir().empty())
    return false;
  s.path = transport_socket_path();
  s.listen_fd = listen_on(s.path);
  if (s.listen_fd < 0) return false;
  s.wake_fd = ::eventfd(0, EFD_CLOEXEC);
  if (s.wake_fd < 0) {
    ::close(s.listen_fd);
    return false;
  }
  s.sink = sink;
  s.running = true;
  transport_workers::start(kInitialThreads);
  s.acceptor = std::thread(accept_connections);
  return true;
}

void transport_stop() {
  Server& s = server();
  {
    std::lock_guard lock(s.mutex);
    if (!s.running) return;
    s.running = false;
  }
  std::uint64_t one = 1;
  (void)!::write(s.wake_fd, &one, sizeof one);
  s.acceptor.join();
  ::close(s.listen_fd);
  ::close(s.wake_fd);
  ::unlink(s.path.c_str());
  std::vector<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(s.mutex);
    for (auto& [id, connection] : s.connections) connections.push_back(connection);
  }
  for (auto& connection : connections) {
    std::lock_guard lock(connection->write_mutex);
    if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
  }
  connections.clear();
  {
    // Each connection's reading turn sees its stream end and closes it down.
    std::unique_lock lock(s.mutex);
    s.all_finished.wait(lock, [&] { return s.connections.empty(); });
  }
  transport_workers::stop();
  s.listen_fd = s.wake_fd = -1;
}

}  // namespace plat::kernel
