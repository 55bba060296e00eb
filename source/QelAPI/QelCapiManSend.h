// What the manager stubs share: refusals with their log lines, the argument
// checks, and one exchange with the answer's payload copied out.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelCapiBufSend.h"
#include "source/QelAPI/QelCapiMan.h"

namespace capiman {

using capibuf::Body;

QelStatus Refuse(QelStatus status, const char* file, int line);
#define CAPIMAN_REFUSE(status) ::capiman::Refuse((status), __FILE__, __LINE__)

bool IsServer(const QelHandle* server);
// 0, or the manager status of argument `position`: 0x36 null with a size, 0x35 unusable.
QelStatus CheckRange(const void* pointer, std::uint64_t size, std::uint32_t position);

struct Exchange {
  const QelHandle* server;
  std::uint32_t command;
  const Body* body;            // after the header
  std::uint32_t id = 0;        // header word 6
  std::uint32_t timeoutMs = 0;  // 0: the communication time-out
  void* output = nullptr;      // payload bytes copied on status 0
  std::uint32_t outputSize = 0;
};
QelStatus Send(const Exchange& exchange);

}  // namespace capiman
