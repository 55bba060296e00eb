// The board's serial function table: what the serial-port module learns of
// this board's serial ports (default settings, one port, the port a client
// identifier resolves to), and the road of the bytes: opening a serial handle
// opens the board's Camera Link port by the "COM<n>" name the machine's
// serial-port map gives it, and reads and writes move bytes through it within
// their time-outs. A handle without an open port moves nothing and answers
// "not supported" with a count of 0: the table never makes up data.
//
// Lock order: the table of open ports' mutex is taken alone, and released
// before any byte moves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

inline constexpr std::uint32_t kSerialSettingsWords = 21;
inline constexpr QelStatus kSerialNotSupported = 70;

struct SerialSettings {
  std::uint32_t words[kSerialSettingsWords];
};
static_assert(sizeof(SerialSettings) == 84);

struct SerialFunctionTable {
  QelStatus (*defaultSettings)(SerialSettings* out);                                          // 0
  QelStatus (*start)();                                                                       // 1
  QelStatus (*end)(const SerialFunctionTable* table);                                         // 2
  QelStatus (*releasePorts)();                                                                // 3
  QelStatus (*portCount)(const void* identifier, std::uint32_t* count);                       // 4
  QelStatus (*open)(QelHandle* handle, const QelHandle* server, std::uint32_t port);          // 5
  QelStatus (*close)(QelHandle* handle);                                                      // 6
  QelStatus (*applySettings)(QelHandle* handle, const void* record);                          // 7
  QelStatus (*resolve)(const void* identifier, QelHandle* server, std::uint32_t* port);       // 8
  QelStatus (*resolveAlt)(const void* identifier, QelHandle* server, std::uint32_t* port);    // 9
  QelStatus (*setPrm)(QelHandle* handle, std::uint32_t prm, std::uint32_t value);             // 10
  QelStatus (*read)(QelHandle* handle, void* buffer, std::uint32_t size, std::uint32_t* count,
                    std::uint32_t timeout);                                                   // 11
  QelStatus (*write)(QelHandle* handle, const void* buffer, std::uint32_t size, std::uint32_t* count,
                     std::uint32_t timeout);                                                  // 12
};
static_assert(sizeof(SerialFunctionTable) == 13 * 8);
static_assert(offsetof(SerialFunctionTable, portCount) == 4 * 8);
static_assert(offsetof(SerialFunctionTable, resolve) == 8 * 8);
static_assert(offsetof(SerialFunctionTable, read) == 11 * 8);
static_assert(offsetof(SerialFunctionTable, write) == 12 * 8);

const SerialFunctionTable* YatGetSerialInterface();
