// The kernel's termios records (for rates without a constant of their own);
// they clash with the C library's, so this file sees only them.
#include "driver/kernel/tests/serial_terminal.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

int OpenTerminal(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_NOCTTY); }

bool SetTerminalLine(int fd, std::uint32_t baud, int dataBits, TerminalParity parity) {
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_iflag = 0;
  settings.c_oflag = 0;
  settings.c_lflag = 0;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  settings.c_cflag &= ~(CBAUD | CSIZE | PARENB | PARODD | CSTOPB);
  settings.c_cflag |= BOTHER | CLOCAL | CREAD | (dataBits == 7 ? CS7 : CS8);
  if (parity != TerminalParity::kNone) settings.c_cflag |= PARENB | (parity == TerminalParity::kOdd ? PARODD : 0);
  settings.c_ispeed = settings.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &settings) == 0;
}

bool WriteTerminal(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

namespace {

bool ReadSome(int fd, std::vector<std::uint8_t>* out, int timeoutMs) {
  pollfd watch{fd, POLLIN, 0};
  if (::poll(&watch, 1, timeoutMs) <= 0 || (watch.revents & POLLIN) == 0) return false;
  std::uint8_t buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got <= 0) return false;
  out->insert(out->end(), buffer, buffer + got);
  return true;
}

}  // namespace

std::vector<std::uint8_t> ReadTerminal(int fd, std::size_t count, std::chrono::milliseconds timeout) {
  std::vector<std::uint8_t> out;
  const auto limit = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count && std::chrono::steady_clock::now() < limit) ReadSome(fd, &out, 50);
  return out;
}

std::vector<std::uint8_t> ReadTerminalUntilQuiet(int fd, std::chrono::milliseconds quiet) {
  std::vector<std::uint8_t> out;
  while (ReadSome(fd, &out, static_cast<int>(quiet.count()))) {
  }
  return out;
}
