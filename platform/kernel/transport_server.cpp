// The kernel host's listening socket, its connections' reader threads and the
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

// Enough for every thread of the busiest client to wait on hardware at once
// while the others keep being served.
constexpr std::size_t kWorkerCount = 16;
constexpr std::uint32_t kMaxInFlight = 256;  // requests of one connection queued or running

struct Server {
  std::mutex mutex;
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

void finish_request(Connection& connection) {
  {
    std::lock_guard lock(connection.mutex);
    --connection.in_flight;
  }
  connection.changed.notify_all();
}

// Reads requests until the stream ends or breaks the protocol.
void read_requests(const std::shared_ptr<Connection>& connection, const RequestSink& sink) {
  for (;;) {
    transport::TransportRequest request{};
    if (!transport::receive_all(connection->fd, &request, sizeof request) ||
        !valid_request(request))
      return;
    std::vector<std::byte> input(request.input_size);
    if (!input.empty() && !transport::receive_all(connection->fd, input.data(), input.size()))
      return;
    {
      // A client that floods the host waits in its socket, not in our memory.
      std::unique_lock lock(connection->mutex);
      connection->changed.wait(lock, [&] { return connection->in_flight < kMaxInFlight; });
      ++connection->in_flight;
    }
    bool posted = transport_workers::post([connection, &sink, request, in = std::move(input)]() mutable {
      run_request(*connection, sink, request, std::move(in));
      finish_request(*connection);
    });
    if (!posted) {
      finish_request(*connection);
      return;
    }
  }
}

// What a close by the client would have done, for every file it left open.
void close_everything(Connection& connection, const RequestSink& sink) {
  std::map<std::uint32_t, OpenFile> left;
  {
    std::unique_lock lock(connection.mutex);
    connection.changed.wait(lock, [&] { return connection.in_flight == 0; });
    left.swap(connection.files);
  }
  for (auto& [id, open_file] : left) sink.close(open_file.file, connection.client);
  physmem_release_client(connection.client.connection_id);
}

void reap_finished_locked(Server& s) {
  for (auto it = s.connections.begin(); it != s.connections.end();) {
    if (it->second->finished) {
      it->second->reader.join();
      it = s.connections.erase(it);
    } else {
      ++it;
    }
  }
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
    std::lock_guard lock(s.mutex);
    reap_finished_locked(s);
    connection->client.connection_id = s.next_connection_id++;
    s.connections[connection->client.connection_id] = connection;
    connection->reader = std::thread(serve_connection, connection, std::cref(s.sink));
  }
}

}  // namespace

void serve_connection(const std::shared_ptr<Connection>& connection, const RequestSink& sink) {
  if (handshake(*connection)) read_requests(connection, sink);
  ::shutdown(connection->fd, SHUT_RDWR);
  close_everything(*connection, sink);
  {
    // No answer may be on its way into a reused descriptor.
    std::lock_guard lock(connection->write_mutex);
    ::close(connection->fd);
    connection->fd = -1;
  }
  connection->finished = true;
}

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
  transport_workers::start(kWorkerCount);
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
  std::map<std::uint32_t, std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(s.mutex);
    connections.swap(s.connections);
  }
  for (auto& [id, connection] : connections) {
    std::lock_guard lock(connection->write_mutex);
    if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
  }
  for (auto& [id, connection] : connections) connection->reader.join();
  transport_workers::stop();
  s.listen_fd = s.wake_fd = -1;
}

}  // namespace plat::kernel
