#include "platform/win/comm_port.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/win/machine.h"
#include "platform/win/registry.h"

namespace plat {

struct CommPort {
  int fd = -1;
};

namespace {

constexpr char kSerialMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::uint32_t kValueBuffer = 300;

// True when the machine's serial-port map holds "COM<number>".
bool Mapped(std::uint32_t number) {
  RegistryKey* key = nullptr;
  if (reg_open_key(RegistryRoot::kLocalMachine, kSerialMap, &key) != 0) return false;
  const std::string wanted = "COM" + std::to_string(number);
  bool found = false;
  for (std::uint32_t index = 0; !found; ++index) {
    char name[kValueBuffer] = {}, data[kValueBuffer] = {};
    std::uint32_t nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
    if (reg_enum_value(key, index, name, &nameSize, &type, data, &dataSize) != 0) break;
    found = type == kRegSz && wanted == data;
  }
  reg_close_key(key);
  return found;
}

using Clock = std::chrono::steady_clock;

int Left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Moves bytes with `step` whenever the line is ready for `events`, until all moved or the deadline.
template <typename Step>
bool Move(int fd, short events, std::uint32_t size, std::uint32_t timeout_ms, std::uint32_t* count, Step step) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  *count = 0;
  while (*count < size) {
    pollfd ready{fd, events, 0};
    const int polled = ::poll(&ready, 1, Left(deadline));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return polled == 0;
    const ssize_t moved = step(*count);
    if (moved < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (moved <= 0) return false;
    *count += static_cast<std::uint32_t>(moved);
  }
  return true;
}

}  // namespace

CommPort* comm_open(const std::string& name) {
  unsigned number = 0;
  const char* text = name.rfind("\\\\.\\", 0) == 0 ? name.c_str() + 4 : name.c_str();
  if (std::sscanf(text, "COM%u", &number) != 1 || number < kCommFirstBoardNumber || !Mapped(number)) return nullptr;
  const std::uint32_t board = (number - kCommFirstBoardNumber) / kCommNumbersPerBoard;
  const std::uint32_t port = (number - kCommFirstBoardNumber) % kCommNumbersPerBoard;
  std::ifstream file(machine_path("serial/board" + std::to_string(board) + "-port" + std::to_string(port)));
  std::string terminal;
  if (!std::getline(file, terminal) || terminal.empty()) return nullptr;
  const int fd = ::open(terminal.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return new CommPort{fd};
}

void comm_close(CommPort* port) {
  if (port == nullptr) return;
  ::close(port->fd);
  delete port;
}

bool comm_read(CommPort* port, void* buffer, std::uint32_t size, std::uint32_t timeout_ms, std::uint32_t* count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  return Move(port->fd, POLLIN, size, timeout_ms, count,
              [&](std::uint32_t done) { return ::read(port->fd, bytes + done, size - done); });
}

bool comm_write(CommPort* port, const void* buffer, std::uint32_t size, std::uint32_t timeout_ms,
                std::uint32_t* count) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  return Move(port->fd, POLLOUT, size, timeout_ms, count,
              [&](std::uint32_t done) { return ::write(port->fd, bytes + done, size - done); });
}

}  // namespace plat
