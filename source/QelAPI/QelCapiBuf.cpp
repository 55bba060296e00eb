// The buffer stubs of creation, release and parameters.
#include "source/QelAPI/QelCapiBuf.h"

#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiBufSend.h"

using namespace capibuf;

namespace {

constexpr std::uint32_t kTagAlternateServer = 0xcccc0081;
constexpr std::uint32_t kPrmRoot = 0xA0020;
constexpr std::uint32_t kPrmParent = 0xB0020;
constexpr std::uint32_t kPrmAddress = 0x80008;

// The server a creating stub sends to; an alternate server handle must ask
// for a display kind (bit 2, or bits 3 and 1).
QelStatus CheckCreator(const QelHandle* server, std::uint32_t type, bool alternateAllowed) {
  if (alternateAllowed && HandleIsReadable(server) && server->tag == kTagAlternateServer && server->record != 0) {
    const bool display = (type & 0x4u) != 0 || (type & 0xAu) == 0xAu;
    return display ? QEL_OK : CAPIBUF_REFUSE(0x800532);
  }
  return IsServerHandle(server) ? QEL_OK : CAPIBUF_REFUSE(kQelCapiBadServer);
}

QelStatus CheckOut(QelHandle** out, std::uint32_t argument) {
  const QelStatus status = CheckRange(out, sizeof *out, argument);
  if (status == QEL_OK) return QEL_OK;
  return CAPIBUF_REFUSE((status & ~0xFFu) | ((status & 0xFFu) == 0x35 ? 0x32u : 0x36u));
}

// The host server's view of a buffer address on an 0xF5 server.
bool AddressReadable(const QelHandle* buffer) {
  if (HandleIsLocal(buffer)) return true;
  const std::uint32_t local = HostGetLocalAddress();
  const bool hostServer = (local & 0x00FFFFFFu) == 0 && (local >> 24) != 0;
  return hostServer && ((buffer->server >> 16) & 0xFFu) == kQelServerClassF5;
}

}  // namespace

QelStatus QelBufferFree(QelHandle* buffer) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  const QelStatus status = Send(buffer->server, 9000, Body(buffer));
  if (status == QEL_OK) ForgetClientBlock(buffer);
  return status;
}

QelStatus QelBufferNew(const QelHandle* server, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                       std::uint32_t type, QelHandle** buffer) {
  if (const QelStatus status = CheckOut(buffer, 6); status != QEL_OK) return status;
  *buffer = nullptr;
  if (const QelStatus status = CheckCreator(server, type, true); status != QEL_OK) return status;
  return Create(server->server, 9001, Body(server).Word(width).Word(height).Word(format).Word(type), buffer);
}

QelStatus QelBufferNew1D(const QelHandle* server, std::uint32_t width, std::uint32_t format, std::uint32_t type,
                         QelHandle** buffer) {
  return QelBufferNew(server, width, 1, format, type, buffer);
}

QelStatus QelBufferNew2D(const QelHandle* server, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                         std::uint32_t type, QelHandle** buffer) {
  return QelBufferNew(server, width, height, format, type, buffer);
}

QelStatus QelBufferNewEx(const QelHandle* server, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                         std::uint32_t type, std::uint64_t physical, std::uint64_t address, QelHandle** buffer) {
  if (const QelStatus status = CheckOut(buffer, 8); status != QEL_OK) return status;
  *buffer = nullptr;
  if (const QelStatus status = CheckCreator(server, type, true); status != QEL_OK) return status;
  const Body body = Body(server).Word(width).Word(height).Word(format).Word(type).Quad(physical).Quad(address);
  return Create(server->server, 9002, body, buffer);
}

QelStatus QelBufferNewChild(const QelHandle* parent, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, QelHandle** child) {
  if (const QelStatus status = CheckOut(child, 6); status != QEL_OK) return status;
  *child = nullptr;
  if (!IsBufferHandle(parent)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  return Create(parent->server, 9003, Body(parent).Word(x).Word(y).Word(width).Word(height), child);
}

QelStatus QelBufferNewChild1D(const QelHandle* parent, std::uint32_t x, std::uint32_t width, QelHandle** child) {
  return QelBufferNewChild(parent, x, 0, width, 1, child);
}

QelStatus QelBufferNewChild2D(const QelHandle* parent, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                              std::uint32_t height, QelHandle** child) {
  return QelBufferNewChild(parent, x, y, width, height, child);
}

QelStatus QelBufferNewByName(const QelHandle* server, std::uint32_t type, const char* fileName, QelHandle** buffer) {
  if (const QelStatus status = CheckOut(buffer, 4); status != QEL_OK) return status;
  *buffer = nullptr;
  if (const QelStatus status = CheckCreator(server, type, false); status != QEL_OK) return status;
  if (fileName == nullptr) return CAPIBUF_REFUSE(0x800336);
  return Create(server->server, 9004, Body(server).Word(type).Name(fileName), buffer);
}

QelStatus QelBufferNewShared(const QelHandle* server, std::uint32_t width, std::uint32_t height,
                             std::uint32_t format, std::uint32_t type, const char* name, QelHandle** buffer) {
  if (const QelStatus status = CheckOut(buffer, 7); status != QEL_OK) return status;
  *buffer = nullptr;
  if (const QelStatus status = CheckCreator(server, type, false); status != QEL_OK) return status;
  if (name == nullptr) return CAPIBUF_REFUSE(0x800636);
  return Create(server->server, 9035, Body(server).Word(width).Word(height).Word(format).Word(type).Name(name),
                buffer);
}

QelStatus QelBufferAttachShared(const QelHandle* server, std::uint32_t type, const char* name, QelHandle** buffer) {
  if (const QelStatus status = CheckOut(buffer, 4); status != QEL_OK) return status;
  *buffer = nullptr;
  if (const QelStatus status = CheckCreator(server, type, false); status != QEL_OK) return status;
  if (name == nullptr) return CAPIBUF_REFUSE(0x800336);
  return Create(server->server, 9036, Body(server).Word(type).Name(name), buffer);
}

QelStatus QelBufferGetPrm(QelHandle* buffer, std::uint32_t id, void* value) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  const bool handleSlot = id == kPrmRoot || id == kPrmParent;
  const std::uint32_t size = handleSlot ? sizeof(QelHandle*) : (id & 0xFFFFu);
  if (const QelStatus status = CheckRange(value, size, 3); status != QEL_OK) return CAPIBUF_REFUSE(status);
  if (id == kPrmAddress && !AddressReadable(buffer)) return CAPIBUF_REFUSE(0x800829);
  if (handleSlot) {
    QelBufferClientBlock* block = ClientBlockOf(buffer);
    if (block == nullptr) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
    QelHandle* slot = id == kPrmRoot ? &block->root : &block->parent;
    const QelStatus status = Send(buffer->server, 9005, Body(buffer).Word(id), {{0, slot, sizeof(QelHandle)}});
    if (status == QEL_OK) *static_cast<QelHandle**>(value) = slot;
    return status;
  }
  return Send(buffer->server, 9005, Body(buffer).Word(id), {{0, value, size}});
}

QelStatus QelBufferSetPrmEx(const QelHandle* buffer, std::uint32_t id, const void* value) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  const std::uint32_t size = id & 0xFFFFu;
  if (const QelStatus status = CheckRange(value, size, 3); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9006, Body(buffer).Word(id).Bytes(value, size));
}

QelStatus QelBufferSetPrm(const QelHandle* buffer, std::uint32_t id, std::uint32_t value) {
  if ((id & 0xFFFFu) > sizeof value) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QelBufferSetPrm => Parameter 0x%08x is wider than 4 bytes", id);
    return 0x800235;
  }
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  return Send(buffer->server, 9006, Body(buffer).Word(id).Bytes(&value, id & 0xFFFFu));
}

QelStatus QelBufferGetCap(const QelHandle* buffer, std::uint32_t id, void* value) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  const std::uint32_t size = id & 0xFFFFu;
  if (const QelStatus status = CheckRange(value, size, 3); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9007, Body(buffer).Word(id), {{0, value, size}});
}
