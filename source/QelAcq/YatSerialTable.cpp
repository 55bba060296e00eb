#include "source/QelAcq/YatSerialTable.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/win/comm_port.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqModule.h"

namespace {

constexpr std::uint32_t kBoardPorts = 2;

// The Camera Link ports this process opened, by the serial handle that opened them.
struct OpenPorts {
  std::mutex guard;
  std::map<const QelHandle*, std::shared_ptr<plat::CommPort>> ports;
};

OpenPorts& Ports() {
  static OpenPorts instance;
  return instance;
}

std::shared_ptr<plat::CommPort> PortOf(const QelHandle* handle) {
  OpenPorts& open = Ports();
  const std::lock_guard<std::mutex> lock(open.guard);
  const auto found = open.ports.find(handle);
  return found != open.ports.end() ? found->second : nullptr;
}

// The board's port as the machine's serial-port map names it.
std::shared_ptr<plat::CommPort> OpenBoardPort(const QelHandle* server, std::uint32_t port) {
  std::uint32_t index = 0;
  if (server == nullptr || port >= kBoardPorts || IsHandleValid(server, &index) != 0 || index == 0) return nullptr;
  char name[64];
  std::snprintf(name, sizeof name, "%s_%u_Serial_%u", kAcqBoardName, index, port);
  const long com = AcqFindComPort(name);
  if (com < 1) return nullptr;
  plat::CommPort* opened = plat::comm_open("COM" + std::to_string(com));
  return opened != nullptr ? std::shared_ptr<plat::CommPort>(opened, plat::comm_close) : nullptr;
}

// Capability masks (words 9-13), then the one-flag parameters (14-20).
constexpr SerialSettings kDefaults = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 16383, 31, 31, 7, 7, 64, 16, 1, 1, 1, 0, 0}};

QelStatus DefaultSettings(SerialSettings* out) {
  if (out != nullptr) *out = kDefaults;
  return 0;
}
QelStatus Nothing() { return 0; }
QelStatus End(const SerialFunctionTable*) { return 0; }
QelStatus PortCount(const void*, std::uint32_t* count) {
  if (count != nullptr) *count = 1;
  return 0;
}
// Opening answers 0 as the serial module expects; a port that could not be
// opened leaves the handle's reads and writes "not supported".
QelStatus Open(QelHandle* handle, const QelHandle* server, std::uint32_t port) {
  if (handle == nullptr) return 0;
  std::shared_ptr<plat::CommPort> opened = OpenBoardPort(server, port);
  OpenPorts& open = Ports();
  const std::lock_guard<std::mutex> lock(open.guard);
  if (opened != nullptr) open.ports[handle] = std::move(opened);
  else open.ports.erase(handle);
  return 0;
}
QelStatus Close(QelHandle* handle) {
  OpenPorts& open = Ports();
  const std::lock_guard<std::mutex> lock(open.guard);
  open.ports.erase(handle);
  return 0;
}
QelStatus ApplySettings(QelHandle*, const void*) { return 0; }

// Every identifier names port 0 of this server.
QelStatus Resolve(const void*, QelHandle* server, std::uint32_t* port) {
  if (port == nullptr) return 0;
  if (server != nullptr) {
    const QelHandle* local = GetLocalServerHandle();
    if (local != nullptr) std::memcpy(server, local, sizeof *server);
    else std::memset(server, 0, sizeof *server);
  }
  *port = 0;
  return 0;
}
QelStatus SetPrm(QelHandle*, std::uint32_t, std::uint32_t) { return 0; }
// Bytes through the handle's port within the time-out; without an open port
// nothing moves and the answer is "not supported".
QelStatus Read(QelHandle* handle, void* buffer, std::uint32_t size, std::uint32_t* count, std::uint32_t timeout) {
  std::uint32_t moved = 0;
  const std::shared_ptr<plat::CommPort> port = PortOf(handle);
  const bool done = port != nullptr && (size == 0 || buffer != nullptr) &&
                    plat::comm_read(port.get(), buffer, size, timeout, &moved);
  if (count != nullptr) *count = moved;
  return done ? 0 : kSerialNotSupported;
}
QelStatus Write(QelHandle* handle, const void* buffer, std::uint32_t size, std::uint32_t* count,
                std::uint32_t timeout) {
  std::uint32_t moved = 0;
  const std::shared_ptr<plat::CommPort> port = PortOf(handle);
  const bool done = port != nullptr && (size == 0 || buffer != nullptr) &&
                    plat::comm_write(port.get(), buffer, size, timeout, &moved);
  if (count != nullptr) *count = moved;
  return done ? 0 : kSerialNotSupported;
}

constexpr SerialFunctionTable kTable = {DefaultSettings, Nothing, End,     Nothing, PortCount, Open, Close,
                                        ApplySettings,   Resolve, Resolve, SetPrm,  Read,      Write};

}  // namespace

const SerialFunctionTable* YatGetSerialInterface() { return &kTable; }
