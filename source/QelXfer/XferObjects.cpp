// Transfer objects: creation, lookup, reset and release, and the freeing of
// their sources, groups and pairs.
#include <cstring>
#include <new>

#include "source/QelAPI/QelApi.h"
#include "source/QelXfer/XferDriverTable.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"

namespace {

void ClearRecord(XferRecord* record) {
  XferObject* object = record->object;
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  record->object = object;
  record->waitTimeout = kXferDefaultTimeout;
}

QelStatus ResetLocked(XferObject* xfer) {
  XferRecord* record = xfer->record;
  if (record->connected != 0) {
    if (const QelStatus status = XferObjectAbort(xfer); status != QEL_OK) return status;
    if (const QelStatus status = XferObjectDisconnect(xfer); status != QEL_OK) return status;
  }
  for (XferSource* source = record->sources; source != nullptr;) {
    XferSource* next = source->next;
    XferFreeSource(source);
    source = next;
  }
  XferForgetCurrentPairs(xfer);
  ClearRecord(record);
  return QEL_OK;
}

void DestroyObject(XferObject* xfer) {
  HandleRegistryRemove(kQelTagTransfer, xfer->record);
  delete xfer->record;
  delete xfer;
}

}  // namespace

void XferFreePair(XferPair* pair) {
  if (pair == nullptr) return;
  delete pair->backEnd;
  delete pair;
}

void XferFreeGroup(XferDestinationGroup* group) {
  if (group == nullptr) return;
  for (XferPair* pair = group->first; pair != nullptr;) {
    XferPair* next = pair->next;
    XferFreePair(pair);
    pair = next;
  }
  delete group;
}

void XferFreeSource(XferSource* source) {
  if (source == nullptr) return;
  for (XferDestinationGroup* group = source->groups; group != nullptr;) {
    XferDestinationGroup* next = group->next;
    XferFreeGroup(group);
    group = next;
  }
  for (XferSourceHandle* handle = source->handles; handle != nullptr;) {
    XferSourceHandle* next = handle->next;
    delete handle;
    handle = next;
  }
  delete source;
}

XferObject* XferObjectOf(const QelHandle* xfer) {
  auto* record = static_cast<XferRecord*>(HandleRecordOf(xfer, kQelTagTransfer));
  if (record != nullptr && record->object != nullptr) return record->object;
  ManReportStatus(kXferBadHandle, __FILE__, __LINE__);
  return nullptr;
}

QelStatus XferNew(const QelHandle* server, const QelHandle* source, std::uint32_t sourceIndex,
                  const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc,
                  QelHandle** out) {
  if (out == nullptr) return XferStatus(4, kXferKindNullArgument);
  *out = nullptr;
  if (!XferHandleHasTag(source)) return XferStatus(1, kXferKindEmptyArgument);
  if (!XferHandleHasTag(destination)) return XferStatus(2, kXferKindEmptyArgument);
  auto* xfer = new (std::nothrow) XferObject;
  auto* record = new (std::nothrow) XferRecord;
  if (xfer == nullptr || record == nullptr) {
    delete xfer;
    delete record;
    return kXferNoMemory;
  }
  xfer->record = record;
  record->object = xfer;
  ClearRecord(record);
  xfer->handle = QelHandle{};
  xfer->handle.server = HandleIsReadable(server) ? server->server : 0;
  xfer->handle.record = reinterpret_cast<std::uintptr_t>(record);
  xfer->handle.tag = kQelTagTransfer;
  xfer->handle.self = reinterpret_cast<std::uintptr_t>(&xfer->handle);
  HandleRegistryAdd(kQelTagTransfer, record);
  const QelStatus status = XferObjectAddPair(xfer, source, sourceIndex, destination, destinationIndex, desc);
  if (status != QEL_OK) {
    DestroyObject(xfer);
    return status;
  }
  *out = &xfer->handle;
  return QEL_OK;
}

QelStatus XferNewShort(const QelHandle* server, const QelHandle* source, const QelHandle* destination,
                       const XferPairDesc* desc, QelHandle** out) {
  return XferNew(server, source, 0, destination, 0, desc, out);
}

QelStatus XferReset(const QelHandle* handle) {
  XferObject* xfer = XferObjectOf(handle);
  if (xfer == nullptr) return kXferBadHandle;
  std::lock_guard lock(xfer->lock);
  return ResetLocked(xfer);
}

QelStatus XferRelease(const QelHandle* handle) {
  XferObject* xfer = XferObjectOf(handle);
  if (xfer == nullptr) return kXferBadHandle;
  {
    std::lock_guard lock(xfer->lock);
    if (const QelStatus status = ResetLocked(xfer); status != QEL_OK) return status;
    HandleRegistryRemove(kQelTagTransfer, xfer->record);
  }
  DestroyObject(xfer);
  return QEL_OK;
}

QelStatus XferNullCommand(const QelHandle* handle) {
  std::uint32_t index = 0;
  return IsHandleValid(handle, &index);
}
