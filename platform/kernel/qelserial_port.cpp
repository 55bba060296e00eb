// A port of the serial-port manager stand-in as a pseudo-terminal, and the
// thread that joins the terminal to the client's port.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/kernel/irp.h"
#include "platform/kernel/kernel_log.h"
#include "platform/kernel/kstring.h"
#include "platform/kernel/qelserial_internal.h"
#include "platform/kernel/time.h"
#include "platform/win/machine.h"

namespace plat::kernel::qelserial {

namespace {

constexpr std::int64_t kPumpInterval = relative_milliseconds(5);
constexpr std::int64_t kIdleInterval = relative_milliseconds(10);

// The client's device stays referenced while the port lives.
bool open_client(Port* port) {
  if (port->client != nullptr) return true;
  KernelString name;
  init_kernel_string(&name, port->device_name.c_str());
  return nt_success(get_device_object_pointer(&name, kFileAllAccess, &port->client_file, &port->client));
}

void send_command(Port* port, std::uint16_t command, std::uint8_t sub, std::uint64_t argument) {
  if (!open_client(port)) return;
  QelSerialCommand record{command, static_cast<std::uint8_t>(port->index), sub, argument};
  KernelEvent done{};
  initialize_event(&done, EventType::kNotification, false);
  IoStatusBlock status{};
  Irp* irp = build_device_io_control_request(kQelSerialClientCommand, port->client, &record, sizeof record, nullptr,
                                             0, true, &done, &status);
  if (irp != nullptr) send_and_wait(port->client, irp, &done, &status);
}

void apply_settings(Port* port, const LineSettings& now) {
  if (now.baud != port->settings.baud) send_command(port, kSerialSetRegister, kSerialRegisterBaudRate, now.baud);
  if (now.line_control != port->settings.line_control)
    send_command(port, kSerialSetRegister, kSerialRegisterLineControl, now.line_control);
  port->settings = now;
}

void connect(Port* port) {
  LineSettings now;
  if (read_line_settings(port->master, &now)) {
    auto* words = reinterpret_cast<std::uint32_t*>(port->block);
    words[kSharedWordBaudRate] = now.baud;
    words[kSharedWordLineControl] = now.line_control;
  }
  port->settings = now;
  port->connected = true;
  send_command(port, kSerialConnect, 0, reinterpret_cast<std::uintptr_t>(port->block));
}

void disconnect(Port* port) {
  if (!port->connected) return;
  send_command(port, kSerialDisconnect, 0, 0);
  port->connected = false;
}

std::uint32_t load(const std::uint32_t& word) {
  return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(word)).load(std::memory_order_acquire);
}
void store(std::uint32_t& word, std::uint32_t value) {
  std::atomic_ref<std::uint32_t>(word).store(value, std::memory_order_release);
}

// What the program wrote goes to the transmit ring, as far as it has room.
void take_from_terminal(Port* port) {
  QelSerialRing* ring = port->transmit;
  std::uint32_t write = load(ring->writeIndex);
  const std::uint32_t room = ring_free(ring->size, write, load(ring->readIndex));
  if (room == 0) return;
  std::uint8_t bytes[kRingSize];
  const ssize_t got = ::read(port->master, bytes, room);
  if (got <= 0) return;
  for (ssize_t i = 0; i < got; ++i) {
    ring_data(ring)[write] = bytes[i];
    write = (write + 1) % ring->size;
  }
  store(ring->writeIndex, write);
  send_command(port, kSerialTransmitPending, 0, 0);
}

// What the client received goes to the program, as far as the terminal takes it.
void give_to_terminal(Port* port) {
  QelSerialRing* ring = port->receive;
  for (;;) {
    const std::uint32_t write = load(ring->writeIndex);
    std::uint32_t read = load(ring->readIndex);
    if (write >= ring->size || read >= ring->size || write == read) return;
    const std::uint32_t chunk = write > read ? write - read : ring->size - read;
    const ssize_t put = ::write(port->master, ring_data(ring) + read, chunk);
    if (put <= 0) return;
    store(ring->readIndex, (read + static_cast<std::uint32_t>(put)) % ring->size);
  }
}

// A program has the terminal open while its master end reports no hang-up.
void serve_once(Port* port) {
  pollfd watch{port->master, POLLIN, 0};
  ::poll(&watch, 1, 0);
  const bool open = (watch.revents & POLLHUP) == 0;
  if (open && !port->connected) connect(port);
  if (!open && port->connected) disconnect(port);
  if (!port->connected) return;
  LineSettings now;
  if (read_line_settings(port->master, &now) && !(now == port->settings)) apply_settings(port, now);
  if (watch.revents & POLLIN) take_from_terminal(port);
  give_to_terminal(port);
}

// No program has the terminal: sleep until one opens it or the port stops.
// The watch on opens stands from the start, so an open that came since the
// last look is waiting in it.
void await_program(Port* port) {
  if (port->opens < 0 || port->wake < 0) {
    delay_execution(kIdleInterval);
    return;
  }
  pollfd fds[2] = {{port->opens, POLLIN, 0}, {port->wake, POLLIN, 0}};
  if (::poll(fds, 2, -1) < 0) return;
  alignas(inotify_event) char events[4096];
  while (::read(port->opens, events, sizeof events) > 0) {
  }
}

void pump(Port* port) {
  while (!port->stop.load()) {
    serve_once(port);
    if (!port->connected) {
      await_program(port);
    } else if (port->port_event != nullptr) {
      wait_for_object(port->port_event, &kPumpInterval);
    } else {
      delay_execution(kPumpInterval);
    }
  }
}

bool publish(Port* port) {
  std::error_code error;
  const std::filesystem::path dir = plat::machine_path("serial");
  std::filesystem::create_directories(dir, error);
  port->name_file = (dir / ("board" + std::to_string(port->board) + "-port" + std::to_string(port->index))).string();
  const std::string temporary = port->name_file + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << port->terminal << "\n";
    if (!out) return false;
  }
  std::filesystem::rename(temporary, port->name_file, error);
  return !error;
}

// The first open sets the settings every program starts from; closing it
// again leaves the master end reporting a hang-up until a program opens it.
bool prepare_slave(const std::string& path) {
  const int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) return false;
  termios settings{};
  if (::tcgetattr(slave, &settings) == 0) {
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | PARENB | CSTOPB)) | CS8 | CLOCAL | CREAD;
    ::tcsetattr(slave, TCSANOW, &settings);
  }
  ::close(slave);
  return true;
}

}  // namespace

bool open_terminal(Port* port) {
  port->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (port->master < 0) return false;
  char name[128] = {};
  if (::grantpt(port->master) != 0 || ::unlockpt(port->master) != 0 ||
      ::ptsname_r(port->master, name, sizeof name) != 0 || !prepare_slave(name)) {
    close_terminal(port);
    return false;
  }
  port->terminal = name;
  if (!publish(port)) {
    host_log(1, "QelSerial: cannot publish %s", port->terminal.c_str());
  }
  return true;
}

void close_terminal(Port* port) {
  if (!port->name_file.empty()) {
    std::error_code error;
    std::filesystem::remove(port->name_file, error);
  }
  if (port->master >= 0) ::close(port->master);
  port->master = -1;
}

void start_pump(Port* port) {
  port->stop.store(false);
  port->opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (port->opens >= 0 && ::inotify_add_watch(port->opens, port->terminal.c_str(), IN_OPEN) < 0) {
    ::close(port->opens);
    port->opens = -1;
  }
  port->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  port->pump = std::thread(pump, port);
}

void stop_pump(Port* port) {
  port->stop.store(true);
  if (port->wake >= 0) {
    const std::uint64_t one = 1;
    (void)!::write(port->wake, &one, sizeof one);
  }
  if (port->pump.joinable()) port->pump.join();
  for (int* fd : {&port->opens, &port->wake}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  disconnect(port);
  if (port->client_file != nullptr) dereference_object(port->client_file);
  port->client_file = nullptr;
  port->client = nullptr;
}

}  // namespace plat::kernel::qelserial
