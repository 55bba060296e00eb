#include "source/QelAPI/QelCapiBufSend.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <set>

#include "platform/win/memory_probe.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiExchange.h"

namespace capibuf {

namespace {

// The client blocks this process's creating stubs gave out: only those are
// freed by QelBufferFree and hold the cached parent and root handles.
// Its guard is taken alone.
struct ClientBlocks {
  std::mutex guard;
  std::set<const void*> blocks;
};

ClientBlocks& Blocks() {
  static ClientBlocks blocks;
  return blocks;
}

void FillBody(const void* context, QelMessageHeader* request) {
  const auto& bytes = static_cast<const Body*>(context)->bytes();
  std::memcpy(request + 1, bytes.data(), bytes.size());
}

struct Outs {
  std::initializer_list<Out> pieces;
};

QelStatus CopyOut(void* context, const QelMessageHeader* answer) {
  const auto* payload = reinterpret_cast<const std::uint8_t*>(answer + 1);
  const std::uint64_t held = answer->size > sizeof(QelMessageHeader) ? answer->size - sizeof(QelMessageHeader) : 0;
  for (const Out& piece : static_cast<Outs*>(context)->pieces) {
    if (piece.offset >= held) continue;
    std::memcpy(piece.target, payload + piece.offset, std::min<std::uint64_t>(piece.size, held - piece.offset));
  }
  return QEL_OK;
}

}  // namespace

QelStatus Refuse(QelStatus status, const char* file, int line) {
  ManReportStatus(status, file, line);
  return status;
}

bool IsBufferHandle(const QelHandle* handle) {
  return HandleIsReadable(handle) && handle->tag == kQelTagBuffer && handle->record != 0;
}

bool IsServerHandle(const QelHandle* handle) { return HandleIsReadable(handle) && handle->tag == kQelTagServer; }

QelStatus CheckRange(const void* pointer, std::uint64_t size, std::uint32_t argument) {
  if (pointer == nullptr) return kQelModuleBuffer | (argument << 8) | 0x36u;
  if (!plat::memory_readable(pointer, size)) return kQelModuleBuffer | (argument << 8) | 0x35u;
  return QEL_OK;
}

Body& Body::Handle(const QelHandle* handle) { return Add(handle, sizeof(QelHandle)); }

Body& Body::Name(const char* text) {
  char field[kQelCapiNameField] = {};
  if (text != nullptr) std::strncpy(field, text, sizeof field - 1);
  return Add(field, sizeof field);
}

QelStatus Send(std::uint32_t destination, std::uint32_t command, const Body& body, std::initializer_list<Out> outs) {
  Outs pieces{outs};
  const QelCapiCall call{destination,
                         command,
                         static_cast<std::uint32_t>(sizeof(QelMessageHeader) + body.bytes().size()),
                         true,
                         GetCommTimeout(),
                         FillBody,
                         &body,
                         outs.size() != 0 ? CopyOut : nullptr,
                         &pieces};
  return QelCapiExchange(call);
}

QelStatus Create(std::uint32_t server, std::uint32_t command, const Body& body, QelHandle** out) {
  auto* block = new (std::nothrow) QelBufferClientBlock{};
  if (block == nullptr) {
    *out = nullptr;
    return CAPIBUF_REFUSE(0x801547);
  }
  const QelStatus status = Send(server, command, body, {{0, &block->buffer, sizeof(QelHandle)}});
  if (status != QEL_OK) {
    delete block;
    *out = nullptr;
    return status;
  }
  block->buffer.server = server;
  {
    std::lock_guard lock(Blocks().guard);
    Blocks().blocks.insert(block);
  }
  *out = &block->buffer;
  return QEL_OK;
}

bool IsClientBlock(const QelHandle* handle) {
  std::lock_guard lock(Blocks().guard);
  return Blocks().blocks.count(handle) != 0;
}

QelBufferClientBlock* ClientBlockOf(const QelHandle* handle) {
  return IsClientBlock(handle) ? reinterpret_cast<QelBufferClientBlock*>(const_cast<QelHandle*>(handle)) : nullptr;
}

void ForgetClientBlock(QelHandle* handle) {
  {
    std::lock_guard lock(Blocks().guard);
    if (Blocks().blocks.erase(handle) == 0) return;
  }
  delete reinterpret_cast<QelBufferClientBlock*>(handle);
}

}  // namespace capibuf
