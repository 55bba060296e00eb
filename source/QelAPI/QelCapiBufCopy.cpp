// The copy stubs (9022, 9023): when either buffer is this server's, or the two
// are on different servers, the copy is made here, line by line: between the
// two memories when this process sees both, else through the line stubs.
#include <algorithm>
#include <memory>
#include <new>

#include "firmware/win32/QelUtilCopy.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiBuf.h"
#include "source/QelAPI/QelCapiBufSend.h"

using namespace capibuf;

namespace {

struct Side {
  QelHandle* handle;
  std::uint8_t* address;  // null when this process does not see the memory
  std::uint32_t pitch;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t unit;
  std::uint32_t bits;
};

QelStatus Describe(QelHandle* handle, Side* side) {
  side->handle = handle;
  std::uint64_t address = 0;
  side->address = QelBufferGetPrm(handle, 0x80008, &address) == QEL_OK
                      ? reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address))
                      : nullptr;
  const std::pair<std::uint32_t, std::uint32_t*> words[] = {
      {0xC0004, &side->pitch}, {0x60004, &side->width}, {0x70004, &side->height},
      {0x20004, &side->unit},  {0x30004, &side->bits}};
  for (const auto& [id, target] : words) {
    if (const QelStatus status = QelBufferGetPrm(handle, id, target); status != QEL_OK) return status;
  }
  return QEL_OK;
}

struct Area {
  std::uint32_t sx, sy, width, height, dx, dy;
};

std::uint8_t* At(const Side& side, std::uint32_t x, std::uint32_t y) {
  return side.address + (std::uint64_t{y} * side.pitch + x) * side.unit;
}

QelStatus CopyLines(const Side& from, const Side& to, const Area& area) {
  const std::uint32_t bytes = area.width * from.unit;
  std::unique_ptr<std::uint8_t[]> line;
  if (from.address == nullptr && to.address == nullptr) {
    line.reset(new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes]);
    if (!line) return CAPIBUF_REFUSE(0x800047);
  }
  for (std::uint32_t i = 0; i < area.height; ++i) {
    const std::uint32_t sy = area.sy + i;
    const std::uint32_t dy = area.dy + i;
    const auto x1 = static_cast<std::int32_t>(area.sx);
    const auto x2 = static_cast<std::int32_t>(area.sx + area.width - 1);
    const auto d1 = static_cast<std::int32_t>(area.dx);
    const auto d2 = static_cast<std::int32_t>(area.dx + area.width - 1);
    std::uint32_t count = area.width;
    QelStatus status = QEL_OK;
    if (from.address != nullptr && to.address != nullptr) {
      std::memmove(At(to, area.dx, dy), At(from, area.sx, sy), bytes);
    } else if (to.address != nullptr) {
      status = QelBufferReadLine(from.handle, x1, static_cast<std::int32_t>(sy), x2, static_cast<std::int32_t>(sy),
                                 &count, bytes, At(to, area.dx, dy));
    } else if (from.address != nullptr) {
      status = QelBufferWriteLine(to.handle, d1, static_cast<std::int32_t>(dy), d2, static_cast<std::int32_t>(dy),
                                  &count, bytes, At(from, area.sx, sy));
    } else {
      status = QelBufferReadLine(from.handle, x1, static_cast<std::int32_t>(sy), x2, static_cast<std::int32_t>(sy),
                                 &count, bytes, line.get());
      if (status == QEL_OK)
        status = QelBufferWriteLine(to.handle, d1, static_cast<std::int32_t>(dy), d2, static_cast<std::int32_t>(dy),
                                    &count, bytes, line.get());
    }
    if (status != QEL_OK) return CAPIBUF_REFUSE(status);
  }
  return QEL_OK;
}

// The client-side copy; *sent true when the server was asked after all.
QelStatus CopyHere(QelHandle* source, QelHandle* destination, Area area, bool wholeSource, std::uint32_t xArgument,
                   bool* send) {
  *send = false;
  Side from{}, to{};
  if (const QelStatus status = Describe(source, &from); status != QEL_OK) return status;
  if (const QelStatus status = Describe(destination, &to); status != QEL_OK) return status;
  if (area.dx >= to.width) return CAPIBUF_REFUSE(0x800033 | (xArgument << 8));
  if (area.dy >= to.height) return CAPIBUF_REFUSE(0x800033 | ((xArgument + 1) << 8));
  if (from.bits != to.bits) return CAPIBUF_REFUSE(0x80030B);
  if (from.bits == 1) {
    *send = true;
    return QEL_OK;
  }
  if (wholeSource) {
    area.width = from.width;
    area.height = from.height;
  }
  if (area.sx >= from.width) return CAPIBUF_REFUSE(0x800233);
  if (area.sy >= from.height) return CAPIBUF_REFUSE(0x800333);
  area.width = std::min({area.width, from.width - area.sx, to.width - area.dx});
  area.height = std::min({area.height, from.height - area.sy, to.height - area.dy});
  return CopyLines(from, to, area);
}

bool CopiedHere(const QelHandle* source, const QelHandle* destination) {
  return HandleIsLocal(source) || HandleIsLocal(destination) || source->server != destination->server;
}

}  // namespace

QelStatus QelBufferCopy(QelHandle* source, std::uint32_t x, std::uint32_t y, QelHandle* destination) {
  if (!IsBufferHandle(source) || !IsBufferHandle(destination)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  if (CopiedHere(source, destination)) {
    bool send = false;
    const QelStatus status = CopyHere(source, destination, {0, 0, 0, 0, x, y}, true, 2, &send);
    if (!send) return status;
  }
  return Send(source->server, 9022, Body(source).Word(x).Word(y).Handle(destination));
}

QelStatus QelBufferCopyRect(QelHandle* source, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, QelHandle* destination, std::uint32_t dx, std::uint32_t dy) {
  if (!IsBufferHandle(source) || !IsBufferHandle(destination)) return CAPIBUF_REFUSE(kQelCapiBadBuffer);
  if (CopiedHere(source, destination)) {
    bool send = false;
    const QelStatus status = CopyHere(source, destination, {x, y, width, height, dx, dy}, false, 7, &send);
    if (!send) return status;
  }
  return Send(source->server, 9023,
              Body(source).Word(x).Word(y).Word(width).Word(height).Handle(destination).Word(dx).Word(dy));
}
