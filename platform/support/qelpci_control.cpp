#include "platform/support/qelpci_control.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/win/machine.h"

namespace plat::support {

namespace {

using namespace plat::board;

constexpr int kIoTimeoutSeconds = 10;

// One connection per request: the host may come and go between calls.
class ControlConnection {
 public:
  ControlConnection() {
    const std::string path = plat::machine_path(kControlSocketName);
    sockaddr_un address{};
    if (plat::machine_dir().empty() || path.size() >= sizeof address.sun_path) return;
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    timeval timeout{kIoTimeoutSeconds, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~ControlConnection() {
    if (fd_ >= 0) ::close(fd_);
  }
  ControlConnection(const ControlConnection&) = delete;
  ControlConnection& operator=(const ControlConnection&) = delete;

  bool write_all(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t n = ::send(fd_, bytes + done, size - done, MSG_NOSIGNAL);
      if (n > 0) done += static_cast<std::size_t>(n);
      else if (n < 0 && errno == EINTR) continue;
      else return false;
    }
    return fd_ >= 0;
  }
  bool read_all(void* out, std::size_t size) {
    auto* bytes = static_cast<char*>(out);
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t n = ::recv(fd_, bytes + done, size - done, 0);
      if (n > 0) done += static_cast<std::size_t>(n);
      else if (n < 0 && errno == EINTR) continue;
      else return false;
    }
    return fd_ >= 0;
  }

 private:
  int fd_ = -1;
};

int transact(ControlRequest request, ControlReply* reply, std::vector<std::byte>* payload) {
  ControlConnection connection;
  request.payload_size = 0;
  if (!connection.write_all(&request, sizeof request) || !connection.read_all(reply, sizeof *reply) ||
      reply->payload_size > kControlMaxPayload)
    return kControlUnreachable;
  std::vector<std::byte> received(reply->payload_size);
  if (!connection.read_all(received.data(), received.size())) return kControlUnreachable;
  if (payload != nullptr) *payload = std::move(received);
  return reply->status;
}

ControlRequest config_request(ControlCommand command, int board, bool bridge, std::uint32_t offset,
                              std::uint32_t width) {
  ControlRequest request{};
  request.command = command;
  request.board = board;
  request.target = bridge ? kControlTargetBridge : kControlTargetFunction;
  request.offset = offset;
  request.width = width;
  return request;
}

}  // namespace

std::vector<ControlBoardEntry> qelpci_list_boards() {
  ControlRequest request{};
  request.command = kControlList;
  request.board = -1;
  ControlReply reply{};
  std::vector<std::byte> payload;
  std::vector<ControlBoardEntry> boards;
  if (transact(request, &reply, &payload) != kControlOk) return boards;
  for (std::size_t at = 0; at + sizeof(ControlBoardEntry) <= payload.size(); at += sizeof(ControlBoardEntry)) {
    ControlBoardEntry entry;
    std::memcpy(&entry, payload.data() + at, sizeof entry);
    boards.push_back(entry);
  }
  return boards;
}

int qelpci_config_read(int board, bool bridge, std::uint32_t offset, std::uint32_t width, std::uint32_t* value) {
  ControlReply reply{};
  const int status = transact(config_request(kControlConfigRead, board, bridge, offset, width), &reply, nullptr);
  if (status == kControlOk) *value = reply.value;
  return status;
}

int qelpci_config_write(int board, bool bridge, std::uint32_t offset, std::uint32_t width, std::uint32_t value) {
  ControlRequest request = config_request(kControlConfigWrite, board, bridge, offset, width);
  request.value = value;
  ControlReply reply{};
  return transact(request, &reply, nullptr);
}

}  // namespace plat::support
