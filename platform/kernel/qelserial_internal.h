// Inside the serial-port manager stand-in: each registered port is a
// pseudo-terminal. While a program has the terminal open the port is
// connected to its client; what the program writes goes to the client's
// transmit ring, what the client receives comes out of the terminal, and the
// terminal's settings (baud rate, character size, parity) become the
// client's serial commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/kernel/device.h"
#include "platform/kernel/qelserial.h"
#include "platform/kernel/sync.h"

namespace plat::kernel::qelserial {

inline constexpr std::uint32_t kRingSize = 4096;

struct LineSettings {
  std::uint32_t baud = 0;
  std::uint32_t line_control = 0;
  bool operator==(const LineSettings&) const = default;
};

struct Port {
  std::uint64_t handle = 0;
  std::uint32_t index = 0;        // the client's port index
  int board = -1;                 // from the number that ends the client's device name, less one
  std::wstring device_name;       // the client's device
  std::wstring board_name;        // the client's board name ("Tramond-CL_RZ6_1")
  KernelEvent* port_event = nullptr;
  std::uint8_t* block = nullptr;  // the shared block
  QelSerialRing* receive = nullptr;
  QelSerialRing* transmit = nullptr;
  int master = -1;
  std::string terminal;   // the pseudo-terminal's path
  std::string name_file;  // where the path is published
  std::thread pump;
  std::atomic<bool> stop{false};
  int opens = -1;  // inotify: programs opening the terminal
  int wake = -1;   // eventfd: the pump is to stop
  bool connected = false;
  LineSettings settings;
  FileObject* client_file = nullptr;
  DeviceObject* client = nullptr;
};

// The terminal: made with its settings at 9600 baud, 8N1, raw; the path is
// written into "<machine>/serial/board<N>-port<M>". False when no terminal
// can be had.
bool open_terminal(Port* port);
void close_terminal(Port* port);
// The settings a program gave the terminal.
bool read_line_settings(int master, LineSettings* settings);

// The port's thread: connects, pumps and disconnects as the terminal is
// opened, used and closed. stop_pump ends it and disconnects the port.
void start_pump(Port* port);
void stop_pump(Port* port);

// The port's value in the machine's serial-port map ("COM<n>"), and its removal.
void publish_com_name(const Port& port);
void withdraw_com_name(const Port& port);

}  // namespace plat::kernel::qelserial
