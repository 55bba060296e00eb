#include "platform/board/control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/board/board_log.h"
#include "platform/board/control_commands.h"
#include "platform/board/control_socket.h"

namespace plat::board {

namespace {

struct ControlServer {
  std::mutex lock;  // start and stop
  bool running = false;
  int listen_fd = -1;
  int stop_fd = -1;
  std::string path;
  ControlTable table;
  std::thread thread;
};

ControlServer& server() {
  static ControlServer instance;
  return instance;
}

int make_listening_socket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// One request and its answer; false when the connection is to be closed.
bool serve_request(ControlTable& table, int fd) {
  ControlRequest request{};
  if (!control_read_all(fd, std::as_writable_bytes(std::span(&request, 1)))) return false;
  ControlReply reply{};
  std::vector<std::byte> reply_payload;
  if (request.payload_size > kControlMaxPayload) {
    reply.status = kControlBadRequest;
    control_write_all(fd, std::as_bytes(std::span(&reply, 1)));
    return false;  // the stream cannot be resynchronised
  }
  std::vector<std::byte> payload(request.payload_size);
  if (!control_read_all(fd, payload)) return false;
  control_execute(table, request, payload, &reply, &reply_payload);
  return control_write_all(fd, std::as_bytes(std::span(&reply, 1))) &&
         control_write_all(fd, reply_payload);
}

// Waits for the next request; false on stop, end of stream or an idle client.
bool next_request_arrives(int fd, int stop_fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
  int ready = 0;
  do {
    ready = ::poll(fds, 2, kControlIoTimeoutSeconds * 1000);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && fds[1].revents == 0 && (fds[0].revents & POLLIN) != 0;
}

void serve_connection(ControlTable& table, int fd, int stop_fd) {
  control_set_timeouts(fd);
  while (next_request_arrives(fd, stop_fd) && serve_request(table, fd)) {
  }
  ::close(fd);
}

void serve(ControlServer& state) {
  for (;;) {
    pollfd fds[2] = {{state.listen_fd, POLLIN, 0}, {state.stop_fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      board_log(kBoardLogError, "board control: poll failed, serving stops");
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(state.listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) serve_connection(state.table, fd, state.stop_fd);
  }
}

}  // namespace

bool board_control_start(std::span<Board*> boards, const BoardControlHooks& hooks) {
  ControlServer& state = server();
  std::lock_guard guard(state.lock);
  if (state.running) return false;
  state.path = control_socket_path();
  if (state.path.empty()) return false;
  state.listen_fd = make_listening_socket(state.path);
  if (state.listen_fd < 0) return false;
  state.stop_fd = ::eventfd(0, EFD_CLOEXEC);
  if (state.stop_fd < 0) {
    ::close(state.listen_fd);
    ::unlink(state.path.c_str());
    return false;
  }
  state.table.boards.assign(boards.begin(), boards.end());
  state.table.hooks = hooks;
  state.running = true;
  state.thread = std::thread([&state] { serve(state); });
  return true;
}

void board_control_stop() {
  ControlServer& state = server();
  std::lock_guard guard(state.lock);
  if (!state.running) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(state.stop_fd, &one, sizeof one);
  state.thread.join();
  ::close(state.listen_fd);
  ::close(state.stop_fd);
  ::unlink(state.path.c_str());
  state.table = ControlTable{};
  state.running = false;
}

}  // namespace plat::board
