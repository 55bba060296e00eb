#include "source/QelAcq/YatSerialTable.h"

#include <cstring>

#include "source/QelAPI/QelApi.h"

namespace {

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
QelStatus Open(QelHandle*, const QelHandle*, std::uint32_t) { return 0; }
QelStatus Close(QelHandle*) { return 0; }
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
QelStatus Read(QelHandle*, void*, std::uint32_t, std::uint32_t* count, std::uint32_t) {
  if (count != nullptr) *count = 0;
  return kSerialNotSupported;
}
QelStatus Write(QelHandle*, const void*, std::uint32_t, std::uint32_t* count, std::uint32_t) {
  if (count != nullptr) *count = 0;
  return kSerialNotSupported;
}

constexpr SerialFunctionTable kTable = {DefaultSettings, Nothing, End,     Nothing, PortCount, Open, Close,
                                        ApplySettings,   Resolve, Resolve, SetPrm,  Read,      Write};

}  // namespace

const SerialFunctionTable* YatGetSerialInterface() { return &kTable; }
