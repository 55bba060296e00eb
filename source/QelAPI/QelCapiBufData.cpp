// The buffer stubs of the data operations (9008-9031). A buffer of this
// server is refused when it has no memory; reads, writes and copies of such
// buffers whose memory this process sees are done here, without a request.
#include <algorithm>
#include <memory>
#include <new>

#include "firmware/win32/QelUtilCopy.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiBuf.h"
#include "source/QelAPI/QelCapiBufSend.h"

using namespace capibuf;

namespace {

constexpr std::uint32_t kNoMemoryKind = 0x40;
constexpr std::uint32_t kComponentBytes = 12;

QelHandle* Mutable(const QelHandle* handle) { return const_cast<QelHandle*>(handle); }

std::uint32_t Word(QelHandle* buffer, std::uint32_t id, QelStatus* status) {
  std::uint32_t value = 0;
  if (*status == QEL_OK) *status = QelBufferGetPrm(buffer, id, &value);
  return value;
}

// The address of a buffer's first element as this process sees it; 0 when
// the server does not give it.
std::uint64_t AddressOf(QelHandle* buffer) {
  std::uint64_t address = 0;
  return QelBufferGetPrm(buffer, 0x80008, &address) == QEL_OK ? address : 0;
}

// Every handle a data stub is given: a buffer of this server must have memory.
QelStatus CheckData(const QelHandle* buffer) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  if (!HandleIsLocal(buffer)) return QEL_OK;
  QelStatus status = QEL_OK;
  const std::uint32_t kind = Word(Mutable(buffer), 0x10004, &status);
  if (status != QEL_OK || kind == kNoMemoryKind || AddressOf(Mutable(buffer)) == 0)
    return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  return QEL_OK;
}

QelStatus CheckOptional(const QelHandle* buffer) { return buffer == nullptr ? QEL_OK : CheckData(buffer); }

struct Geometry {
  std::uint8_t* address;
  std::uint32_t unit;    // bytes per element
  std::uint32_t bits;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t pitch;   // elements per line
};

QelStatus GeometryOf(QelHandle* buffer, Geometry* g) {
  QelStatus status = QEL_OK;
  g->address = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(AddressOf(buffer)));
  g->bits = Word(buffer, 0x30004, &status);
  g->unit = Word(buffer, 0x20004, &status);
  g->width = Word(buffer, 0x60004, &status);
  g->height = Word(buffer, 0x70004, &status);
  g->pitch = Word(buffer, 0xC0004, &status);
  return status;
}

// Moves `count` elements from the element offset on, line by line where the
// pitch is wider than the image; the caller's memory is packed.
void MoveLinear(const Geometry& g, std::uint64_t offset, std::uint64_t count, std::uint8_t* memory, bool read) {
  const auto move = [read](std::uint8_t* image, std::uint8_t* packed, std::uint64_t bytes) {
    if (read) FastMemCopy(packed, image, bytes, true);
    else FastMemCopy(image, packed, bytes, false);
  };
  if (g.pitch == g.width) {
    move(g.address + offset * g.unit, memory, count * g.unit);
    return;
  }
  std::uint64_t x = offset % g.width;
  std::uint64_t y = offset / g.width;
  while (count > 0) {
    const std::uint64_t run = std::min<std::uint64_t>(g.width - x, count);
    move(g.address + (y * g.pitch + x) * g.unit, memory, run * g.unit);
    memory += run * g.unit;
    count -= run;
    x = 0;
    ++y;
  }
}

// The direct path of 9008 and 9009; *done false when the command is to be sent.
QelStatus Direct(QelHandle* buffer, std::uint64_t offset, std::uint32_t size, std::uint8_t* memory, bool read,
                 bool* done) {
  *done = false;
  if (!HandleIsLocal(buffer)) return QEL_OK;
  Geometry g{};
  const QelStatus status = GeometryOf(buffer, &g);
  if (status != QEL_OK || g.address == nullptr || g.bits == 1 || g.unit == 0) return QEL_OK;
  *done = true;
  const std::uint64_t total = std::uint64_t{g.width} * g.height;
  if (offset > total) return CAPIBUF_REFUSE(0x800233);
  MoveLinear(g, offset, std::min<std::uint64_t>(size / g.unit, total - offset), memory, read);
  return status;
}

}  // namespace

QelStatus QelBufferRead(QelHandle* buffer, std::uint64_t offset, std::uint32_t size, void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(data, size, 4); status != QEL_OK) return CAPIBUF_REFUSE(status);
  bool done = false;
  const QelStatus status = Direct(buffer, offset, size, static_cast<std::uint8_t*>(data), true, &done);
  if (done) return status;
  return Send(buffer->server, 9008, Body(buffer).Quad(offset).Word(size), {{0, data, size}});
}

QelStatus QelBufferWrite(QelHandle* buffer, std::uint64_t offset, std::uint32_t size, const void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(data, size, 4); status != QEL_OK) return CAPIBUF_REFUSE(status);
  bool done = false;
  auto* memory = static_cast<std::uint8_t*>(const_cast<void*>(data));
  const QelStatus status = Direct(buffer, offset, size, memory, false, &done);
  if (done) return status;
  return Send(buffer->server, 9009, Body(buffer).Quad(offset).Word(size).Bytes(data, size));
}

QelStatus QelBufferReadDots(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                            const std::uint8_t* codes, std::uint32_t size, void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(codes, count, 5); status != QEL_OK) return CAPIBUF_REFUSE(status);
  if (const QelStatus status = CheckRange(data, size, 7); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9010, Body(buffer).Word(x).Word(y).Word(count).Word(size).Bytes(codes, count),
              {{0, data, size}});
}

QelStatus QelBufferWriteDots(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                             const std::uint8_t* codes, std::uint32_t size, const void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(codes, count, 5); status != QEL_OK) return CAPIBUF_REFUSE(status);
  if (const QelStatus status = CheckRange(data, size, 7); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9011,
              Body(buffer).Word(x).Word(y).Word(count).Word(size).Bytes(codes, count).Bytes(data, size));
}

QelStatus QelBufferReadElement(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t size,
                               void* element) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(element, size, 5); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9012, Body(buffer).Word(x).Word(y).Word(size), {{0, element, size}});
}

QelStatus QelBufferWriteElement(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t size,
                                const void* element) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(element, size, 5); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9013, Body(buffer).Word(x).Word(y).Word(size).Bytes(element, size));
}

QelStatus QelBufferReadElementValue(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, void* value) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(value, kComponentBytes, 4); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9014, Body(buffer).Word(x).Word(y).Word(kComponentBytes),
              {{0, value, kComponentBytes}});
}

QelStatus QelBufferWriteElementValue(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, const void* value) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(value, kComponentBytes, 4); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9015, Body(buffer).Word(x).Word(y).Bytes(value, kComponentBytes));
}

QelStatus QelBufferReadLine(const QelHandle* buffer, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                            std::int32_t y2, std::uint32_t* count, std::uint32_t size, void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(count, sizeof *count, 6); status != QEL_OK) return CAPIBUF_REFUSE(status);
  if (const QelStatus status = CheckRange(data, size, 8); status != QEL_OK) return CAPIBUF_REFUSE(status);
  const Body body = Body(buffer).Word(x1).Word(y1).Word(x2).Word(y2).Word(*count).Word(size);
  return Send(buffer->server, 9016, body, {{0, count, sizeof *count}, {4, data, size}});
}

QelStatus QelBufferWriteLine(const QelHandle* buffer, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                             std::int32_t y2, std::uint32_t* count, std::uint32_t size, const void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(count, sizeof *count, 6); status != QEL_OK) return CAPIBUF_REFUSE(status);
  if (const QelStatus status = CheckRange(data, size, 8); status != QEL_OK) return CAPIBUF_REFUSE(status);
  const Body body = Body(buffer).Word(x1).Word(y1).Word(x2).Word(y2).Word(*count).Word(size).Bytes(data, size);
  return Send(buffer->server, 9017, body, {{0, count, sizeof *count}});
}

QelStatus QelBufferReadRect(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, std::uint32_t size, void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(data, size, 7); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9018, Body(buffer).Word(x).Word(y).Word(width).Word(height).Word(size),
              {{0, data, size}});
}

QelStatus QelBufferWriteRect(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                             std::uint32_t height, std::uint32_t size, const void* data) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(data, size, 7); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9019,
              Body(buffer).Word(x).Word(y).Word(width).Word(height).Word(size).Bytes(data, size));
}

QelStatus QelBufferClear(const QelHandle* buffer, std::uint32_t value) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  return Send(buffer->server, 9020, Body(buffer).Word(value));
}

QelStatus QelBufferClearEx(const QelHandle* buffer, std::uint32_t size, const void* value) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(value, size, 3); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9021, Body(buffer).Word(size).Bytes(value, size));
}

QelStatus QelBufferLoad(const QelHandle* buffer, std::uint32_t kind, const char* fileName) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  if (fileName == nullptr) return CAPIBUF_REFUSE(0x800336);
  return Send(buffer->server, 9024, Body(buffer).Word(kind).Name(fileName));
}

QelStatus QelBufferSave(const QelHandle* buffer, std::uint32_t kind, const char* fileName) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  if (fileName == nullptr) return CAPIBUF_REFUSE(0x800336);
  return Send(buffer->server, 9025, Body(buffer).Word(kind).Name(fileName));
}

QelStatus QelBufferClearBlack(const QelHandle* buffer) {
  if (!IsBufferHandle(buffer)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  return Send(buffer->server, 9026, Body(buffer));
}

QelStatus QelBufferDecodeBayer(const QelHandle* source, const QelHandle* destination, std::uint32_t method,
                               const void* gains, const QelHandle* lut) {
  if (const QelStatus status = CheckData(source); status != QEL_OK) return status;
  if (const QelStatus status = CheckData(destination); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(gains, kComponentBytes, 4); status != QEL_OK) return CAPIBUF_REFUSE(status);
  if (lut != nullptr && (!HandleIsReadable(lut) || lut->tag != kQelTagLut)) return CAPIBUF_REFUSE(0x800532);
  const Body body = Body(source).Handle(destination).Word(method).Bytes(gains, kComponentBytes).Handle(lut);
  return Send(source->server, 9027, body);
}

QelStatus QelBufferComputeWhiteBalance(const QelHandle* buffer, std::uint32_t method, void* gains) {
  if (const QelStatus status = CheckData(buffer); status != QEL_OK) return status;
  if (const QelStatus status = CheckRange(gains, kComponentBytes, 3); status != QEL_OK) return CAPIBUF_REFUSE(status);
  return Send(buffer->server, 9028, Body(buffer).Word(method), {{0, gains, kComponentBytes}});
}

QelStatus QelBufferConvertFormat(const QelHandle* source, const QelHandle* destination, std::uint32_t method) {
  if (const QelStatus status = CheckData(source); status != QEL_OK) return status;
  if (const QelStatus status = CheckData(destination); status != QEL_OK) return status;
  return Send(source->server, 9029, Body(source).Handle(destination).Word(method));
}

QelStatus QelBufferSplitPlanes(const QelHandle* source, const QelHandle* plane0, const QelHandle* plane1,
                               const QelHandle* plane2, std::uint32_t method) {
  if (const QelStatus status = CheckData(source); status != QEL_OK) return status;
  for (const QelHandle* plane : {plane0, plane1, plane2}) {
    if (const QelStatus status = CheckOptional(plane); status != QEL_OK) return status;
  }
  return Send(source->server, 9030, Body(source).Handle(plane0).Handle(plane1).Handle(plane2).Word(method));
}

QelStatus QelBufferMergePlanes(const QelHandle* plane0, const QelHandle* plane1, const QelHandle* plane2,
                               const QelHandle* destination, std::uint32_t method) {
  for (const QelHandle* plane : {plane0, plane1, plane2}) {
    if (const QelStatus status = CheckOptional(plane); status != QEL_OK) return status;
  }
  if (const QelStatus status = CheckData(destination); status != QEL_OK) return status;
  // The request goes to the destination's server, whose handle it carries at 132.
  Body body(plane0);
  body.Handle(plane1).Handle(plane2).Handle(destination).Word(method);
  return Send(destination->server, 9031, body);
}
