// The board's view of pairs: the kinds of a pair's source and destination,
// their admission through the connection matrix, and the capabilities and
// values a new destination group starts with.
#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelBuff/YatBoardBuffers.h"
#include "source/QelXfer/XferConnMatrix.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"

namespace {

constexpr std::uint32_t kAcqEventTypesCap = 0x10004;

std::uint32_t BoardByte(const QelHandle* handle) { return (handle->server >> 8) & 0xFFu; }

std::uint32_t SourceKind(const XferObject* xfer, const QelHandle* source) {
  const QelHandle& own = xfer->handle;
  if (XferYatIsAcquisition(source)) return BoardByte(source) == BoardByte(&own) ? kXferSourceAcq : kXferSourceOtherAcq;
  if (HandleIsPixPro(source) && HandleIsSameServer(source, &own)) return kXferSourcePixPro;
  if (XferYatIsHostBuffer(source)) return kXferSourceHostBuffer;
  return kXferSourceUnknown;
}

std::uint32_t DestinationKind(const XferObject* xfer, const QelHandle* destination) {
  if (XferYatIsHostBuffer(destination)) return kXferDestinationHostBuffer;
  if (XferYatIsServerBuffer(xfer, destination)) return kXferDestinationServerBuffer;
  if (HandleIsPixPro(destination) && HandleIsSameServer(destination, &xfer->handle)) return kXferDestinationPixPro;
  return kXferDestinationUnknown;
}

// The connector an acquisition device's processing runs on: its resource
// mask's bit 0 gives 0, bit 1 gives 1; false for neither.
bool ProcessingMode(const QelHandle* source, const QelHandle* destination, std::uint32_t* mode) {
  *mode = 0;
  if (!HandleIsBuffer(destination) || !XferYatIsAcquisition(source) || HandleIsSecondaryAcq(source)) return true;
  std::uint32_t mask = 0;
  if (AcqGetConnectorMask(source, &mask) != QEL_OK) return false;
  if ((mask & 0x1) != 0) return true;
  *mode = 1;
  return (mask & 0x2) != 0;
}

std::uint32_t CallbackEvents(const QelHandle* source, const QelHandle* destination) {
  if (!HandleIsBuffer(destination)) return 0;
  std::uint32_t events = 0;
  if (XferYatIsAcquisition(source) && XferGetSrcCap(source, kAcqEventTypesCap, &events) == QEL_OK &&
      (events & 1) != 0)
    return 0x7FF0000;
  return 0x7880000;
}

struct CapValue {
  std::uint32_t id;
  std::uint32_t value;
};

QelStatus WriteCaps(XferObject* xfer, std::initializer_list<CapValue> caps) {
  QelStatus status = QEL_OK;
  for (const CapValue& c : caps) status = XferObjectSetCap(xfer, c.id, c.value);
  return status;
}

// What the board's processing offers the group.
void ProcessingCaps(XferObject* xfer, std::uint32_t board, std::uint32_t mode) {
  std::uint32_t available = 0;
  if (Yat_FPGA_IsProcessingAvailable(board, mode, 2, &available) == QELHW_OK && available != 0)
    XferObjectSetCap(xfer, 0x2C0004, 7);
  if (Yat_FPGA_IsProcessingAvailable(board, mode, 1, &available) == QELHW_OK && available != 0)
    WriteCaps(xfer, {{0x2D0004, 8}, {0x2E0004, 1}, {0x2F0004, 7}});
  if (Yat_FPGA_IsProcessingAvailable(board, mode, 4, &available) == QELHW_OK && available != 0)
    XferObjectSetCap(xfer, 0x2D0004, available);
}

}  // namespace

std::uint32_t XferYatBoardOf(const XferObject* xfer) {
  const QelHandle& handle = xfer->handle;
  if (HandleIsHostServer(&handle) || HandleIsServerF8(&handle)) return 0;
  return BoardByte(&handle) - 1;
}

bool XferYatIsAcquisition(const QelHandle* handle) {
  return HandleHasTag(handle, kQelTagAcqDevice) || HandleHasTag(handle, kQelTagSecondaryAcq);
}

// A buffer the buffer module made on a board's server for this process
// carries that server too; it is a host buffer unless the board's memory
// holds it.
bool XferYatIsHostBuffer(const QelHandle* handle) {
  if (!HandleIsBuffer(handle)) return false;
  if (HandleIsHostServer(handle) || BoardByte(handle) == 0) return true;
  return BufferDescriptorOf(handle) != nullptr && YatBoardBufferRecord(handle) == nullptr;
}

bool XferYatIsServerBuffer(const XferObject* xfer, const QelHandle* handle) {
  return HandleIsBuffer(handle) && BoardByte(handle) != 0 && handle->server == xfer->handle.server;
}

std::uint32_t XferYatGetDefaultPrm(const QelHandle* destination) {
  return XferYatIsHostBuffer(destination) ? 0xFFFFFF00u : 0;
}

QelStatus XferYatCheckSource(XferObject* xfer, XferSource* source, XferPair* pair) {
  const QelHandle* handle = XferSourceHandleOf(source);
  source->kind = SourceKind(xfer, handle);
  pair->kind = DestinationKind(xfer, &pair->destination);
  if (pair->kind == kXferDestinationPixPro && source->kind != kXferSourceAcq && source->kind != kXferSourceHostBuffer)
    return kXferKindNotValid;
  if (source->kind == kXferSourceUnknown || pair->kind == kXferDestinationUnknown) return kXferKindNotValid;
  return XferMatrixValue(XferYatBoardOf(xfer), source->kind, pair->kind) >= 0 ? QEL_OK : kXferKindNotSupported;
}

QelStatus XferYatAddPairHook(XferObject*, XferSource*, XferPair*) { return QEL_OK; }

QelStatus XferYatVerifyPair(XferObject* xfer, XferSource* source, XferPair* pair) {
  if (pair->backEnd->place.index != 0) return QEL_OK;  // already holds its place
  return XferMatrixTakePlace(XferYatBoardOf(xfer), source->kind, pair->kind, &pair->backEnd->place);
}

QelStatus XferYatUnverifyPair(XferObject*, XferSource*, XferPair* pair) {
  XferMatrixGivePlace(&pair->backEnd->place);
  return QEL_OK;
}

// Host-buffer destinations stay out of the count of their kind.
QelStatus XferYatCheckPairDesc(XferObject* xfer, XferSource*, XferPair* pair) {
  if (pair->kind == kXferDestinationHostBuffer) --xfer->record->pairKindCount[kXferDestinationHostBuffer];
  return QEL_OK;
}

QelStatus XferYatInitPairPrms(XferObject* xfer, const QelHandle* source, const QelHandle* destination) {
  std::uint32_t mode = 0;
  const bool modeKnown = ProcessingMode(source, destination, &mode);
  XferObjectSetCap(xfer, 0x10004, CallbackEvents(source, destination));
  WriteCaps(xfer, {{0x1C0004, 0x80000}, {0x210004, 2}, {0x220004, 3}, {0x230004, 65535},
                   {0x200004, XferYatIsHostBuffer(destination) ? 2u : 0u}, {0x250004, 1}, {0x260004, 107},
                   {0x270004, 0x7FFFFFFF}});
  XferObjectSetPrmValue(xfer, 0x160004, 1);
  WriteCaps(xfer, {{0x280004, 45}, {0x290004, 1}, {0x2C0004, 1}});
  if (modeKnown) ProcessingCaps(xfer, XferYatBoardOf(xfer), mode);
  XferObjectSetPrmValue(xfer, 0x1A0004, 1);
  XferObjectSetPrmValue(xfer, 0x140004, 1);
  return WriteCaps(xfer, {{0x300004, 1}, {0x310004, 0x1880000}, {0x320004, 19}, {0x330004, 0x880000},
                          {0x340004, 2}});
}
