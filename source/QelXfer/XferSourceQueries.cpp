// What the back end asks the manager about a source: the acquisition device
// behind it, its connector, and the size of the image it delivers.
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferSourceQueries.h"
#include "source/QelXfer/XferStatus.h"

namespace {

std::uint32_t Value(const QelHandle* source, std::uint32_t id, std::uint32_t fallback) {
  std::uint32_t value = fallback;
  if (XferGetSrcCap(source, id, &value) != QEL_OK) return fallback;
  return value;
}

std::uint32_t Prm(const QelHandle* source, std::uint32_t id) {
  std::uint32_t value = 0;
  XferSrcValue(source, id, &value);
  return value;
}

bool IsAcqSourceKind(const XferSource& source) { return source.kind <= 1; }

}  // namespace

const QelHandle* XferResolveSource(XferObject* xfer, const QelHandle* handle) {
  for (XferSource* s = xfer->record->sources; s != nullptr; s = s->next)
    if (IsAcqSourceKind(*s) && HandleIsSameObject(XferSourceHandleOf(s), handle)) return XferSourceHandleOf(s);
  // Another source: the acquisition that feeds the same object.
  for (XferSource* s = xfer->record->sources; s != nullptr; s = s->next) {
    if (!IsAcqSourceKind(*s)) continue;
    for (XferDestinationGroup* g = s->groups; g != nullptr; g = g->next)
      for (XferPair* p = g->first; p != nullptr; p = p->next)
        if (HandleIsSameObject(&p->destination, handle)) return XferSourceHandleOf(s);
  }
  return nullptr;
}

QelStatus XferGetSourceConnector(XferObject* xfer, const QelHandle* handle, std::uint32_t* connector) {
  if (connector == nullptr) return kXferResource;
  const QelHandle* acq = XferResolveSource(xfer, handle);
  if (acq == nullptr) return kXferNoPair;
  XferAcqDevice device{};
  if (const QelStatus status = XferAcqDeviceOf(acq, &device); status != QEL_OK) return status;
  *connector = device.connector;
  return QEL_OK;
}

std::uint32_t XferGetDstWidth(const QelHandle* source) {
  const bool own = Value(source, 0x8720004, 0) == 0 || Prm(source, 0x8170004) == 1;
  std::uint32_t width = Prm(source, own ? 0x8130004 : 0x8150004);
  const std::uint32_t bytesPerPixel = ((((Prm(source, 0x8280004) >> 8) & 0xFFu) + 7) >> 3);
  const std::uint32_t alignment = std::max<std::uint32_t>(1, Value(source, 0x8750004, 1));
  const std::uint64_t bytes = std::uint64_t{bytesPerPixel} * width;
  if (bytesPerPixel != 0 && bytes % alignment != 0)
    width = static_cast<std::uint32_t>((bytes / alignment + 1) * alignment / bytesPerPixel);
  return width;
}

std::uint32_t XferGetDstHeight(const QelHandle* source) {
  const bool own = Value(source, 0x8730004, 0) == 0 || Prm(source, 0x8180004) == 1;
  return Prm(source, own ? 0x8140004 : 0x8160004);
}
