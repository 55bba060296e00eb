// The acquisition device behind a transfer source, reached through the
// acquisition module's own functions: its lookups, its parameter and
// capability reads (which also serve monitor handles and run the device's
// read hooks) and its transfer-connected flag.
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferStatus.h"

namespace {

// The module reads through a handle object of its own; the transfer keeps a
// copy of the client's handle, which the module only looks up.
QelHandle* Lookup(const QelHandle* source) { return const_cast<QelHandle*>(source); }

}  // namespace

QelStatus XferAcqDeviceOf(const QelHandle* source, XferAcqDevice* device) {
  if (HandleIsSecondaryAcq(source)) return kXferGeneral;
  XferAcqDevice found{};
  QelStatus status = AcqGetBoardIndex(source, &found.board);
  if (status == QEL_OK) status = AcqGetDeviceIndex(source, &found.device);
  if (status == QEL_OK) status = AcqGetConnectorMask(source, &found.mask);
  if (status == QEL_OK) status = AcqGetConnector(source, &found.connector);
  if (status == QEL_OK) *device = found;
  return status;
}

QelStatus XferGetSrcPrm(const QelHandle* source, std::uint32_t id, void* value) {
  if (HandleIsSecondaryAcq(source)) return kXferGeneral;
  return AcqGetPrm(Lookup(source), id, value);
}

QelStatus XferGetSrcCap(const QelHandle* source, std::uint32_t id, void* value) {
  if (HandleIsSecondaryAcq(source)) return kXferGeneral;
  return AcqGetCap(Lookup(source), id, value);
}

QelStatus XferSrcValue(const QelHandle* source, std::uint32_t id, std::uint32_t* value) {
  *value = 0;
  return XferGetSrcPrm(source, (id & 0xFFFF0000u) | 4, value);
}

QelStatus XferSetAcqConnected(std::uint32_t board, std::uint32_t device, std::uint8_t connected) {
  return AcqSetXferConnected(board, device, connected);
}
