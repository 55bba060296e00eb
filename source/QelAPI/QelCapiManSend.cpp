#include "source/QelAPI/QelCapiManSend.h"

#include <algorithm>

#include "platform/win/memory_probe.h"
#include "source/QelAPI/QelCapiExchange.h"

namespace capiman {
namespace {

struct Fill {
  const Body* body;
  std::uint32_t id;
};

void FillRequest(const void* context, QelMessageHeader* request) {
  const auto* fill = static_cast<const Fill*>(context);
  request->reserved = fill->id;
  std::memcpy(request + 1, fill->body->bytes().data(), fill->body->bytes().size());
}

struct Output {
  void* target;
  std::uint32_t size;
};

// A short answer copies what it holds.
QelStatus CopyOut(void* context, const QelMessageHeader* answer) {
  const auto* output = static_cast<const Output*>(context);
  const std::uint64_t held = answer->size > sizeof(QelMessageHeader) ? answer->size - sizeof(QelMessageHeader) : 0;
  std::memcpy(output->target, answer + 1, std::min<std::uint64_t>(held, output->size));
  return QEL_OK;
}

}  // namespace

QelStatus Refuse(QelStatus status, const char* file, int line) {
  ManReportStatus(status, file, line);
  return status;
}

bool IsServer(const QelHandle* server) { return HandleIsReadable(server) && server->tag == kQelTagServer; }

QelStatus CheckRange(const void* pointer, std::uint64_t size, std::uint32_t position) {
  if (size == 0) return QEL_OK;
  if (pointer == nullptr) return kQelModuleManager | (position << 8) | 0x36u;
  if (!plat::memory_readable(pointer, size)) return kQelModuleManager | (position << 8) | 0x35u;
  return QEL_OK;
}

QelStatus Send(const Exchange& exchange) {
  const Fill fill{exchange.body, exchange.id};
  Output output{exchange.output, exchange.outputSize};
  const bool copies = exchange.output != nullptr && exchange.outputSize != 0;
  const QelCapiCall call{exchange.server->server,
                         exchange.command,
                         static_cast<std::uint32_t>(sizeof(QelMessageHeader) + exchange.body->bytes().size()),
                         false,
                         exchange.timeoutMs != 0 ? exchange.timeoutMs : GetCommTimeout(),
                         FillRequest,
                         &fill,
                         copies ? CopyOut : nullptr,
                         &output};
  return QelCapiExchange(call);
}

}  // namespace capiman
