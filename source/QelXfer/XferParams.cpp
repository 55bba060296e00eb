// Transfer parameters and capabilities. Parameters live on the object, on
// the current destination group or on the current pair; capabilities 1 to
// 52 on the current group, written by the board's table when a group is
// made. Every write is checked against the group's capabilities.
#include <cstring>

#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"

namespace {

enum class Place { kObject, kGroup, kPair, kUnavailable, kUnknown };

struct PrmRef {
  std::uint32_t index;
  std::uint32_t size;
};

constexpr QelStatus Refuse(std::uint32_t index, std::uint32_t kind) { return XferStatus(index, kind); }

// Where a parameter lives, for an id of the right size.
Place PlaceOf(std::uint32_t id, PrmRef* ref) {
  ref->index = id >> 16;
  ref->size = id & 0xFFFFu;
  const std::uint32_t i = ref->index;
  const std::uint32_t size = i >= 15 && i <= 17 ? 8u : 4u;
  if (i < 1 || i > 32 || ref->size != size) return Place::kUnknown;
  if (i == 1 || i == 12 || i == 13) return Place::kObject;
  if (i >= 2 && i <= 9) return Place::kUnavailable;
  if (i == 10 || i == 11 || (i >= 15 && i <= 18) || i == 23 || i == 28) return Place::kPair;
  return Place::kGroup;
}

std::uint32_t Cap(const XferDestinationGroup& group, std::uint32_t index) { return group.caps[index]; }
bool Subset(std::uint32_t value, std::uint32_t of) { return (value & ~of) == 0; }

// The mask of parameter 31 that goes with parameter 30's value.
bool Prm30Matches(const XferDestinationGroup& group, std::uint32_t value, std::uint32_t* maskIndex) {
  if (value != 0 && value == Cap(group, 48)) {
    *maskIndex = 49;
    return true;
  }
  if (value != 0 && value == Cap(group, 50)) {
    *maskIndex = 51;
    return true;
  }
  return false;
}

bool WantsDisconnected(std::uint32_t i) {
  return i == 18 || i == 19 || i == 23 || (i >= 26 && i <= 31);
}

// The group parameter's rule; 0 when the value is taken.
QelStatus CheckGroupValue(const XferRecord& record, std::uint32_t i, std::uint32_t v) {
  const XferDestinationGroup& g = *record.currentGroup;
  const QelStatus unavailable = Refuse(i, kXferKindPrmNotAvailable);
  const QelStatus range = Refuse(i, kXferKindOutOfRange);
  switch (i) {
    case 19: return (Cap(g, 33) & 0x2) != 0 ? QEL_OK : unavailable;
    case 20: return (v & Cap(g, 34)) != 0 ? QEL_OK : range;
    case 21: return Cap(g, 36) != 0 ? QEL_OK : unavailable;
    case 22: return (v & Cap(g, 38)) != 0 ? QEL_OK : range;
    case 24: return Cap(g, 42) != 0 || v <= 1 ? QEL_OK : unavailable;
    case 25: return Cap(g, 43) != 0 || v <= 1 ? QEL_OK : unavailable;
    case 26: return Cap(g, 41) != 0 && (v & Cap(g, 44)) != 0 ? QEL_OK : unavailable;
    case 27: return v == 0 || (Cap(g, 45) != 0 && Subset(v, Cap(g, 45))) ? QEL_OK : unavailable;
    case 29: return Cap(g, 46) != 0 && (v & Cap(g, 47)) != 0 ? QEL_OK : unavailable;
    case 32: return Subset(v, Cap(g, 52)) ? QEL_OK : unavailable;
    default: return QEL_OK;
  }
}

bool DestinationIsBuffer(const XferRecord& record) {
  return record.currentPair != nullptr && HandleIsBuffer(&record.currentPair->destination);
}

QelStatus CheckRegionValues(const XferRecord& record, std::uint32_t i, std::uint32_t v) {
  const XferDestinationGroup& g = *record.currentGroup;
  if (v == 0) return QEL_OK;
  std::uint32_t mask = 0;
  if (i == 30) {
    if (!Prm30Matches(g, v, &mask)) return Refuse(i, kXferKindOutOfRange);
  } else {
    if (!Prm30Matches(g, g.prm[30], &mask)) return Refuse(30, kXferKindOutOfRange);
    if ((v & Cap(g, mask)) == 0) return Refuse(i, kXferKindOutOfRange);
  }
  return DestinationIsBuffer(record) ? QEL_OK : kXferNotABuffer;
}

QelStatus SetCycleMode(XferObject* xfer, std::uint32_t v) {
  XferDestinationGroup* g = xfer->record->currentGroup;
  if ((v & 0xFFFFu) > 5 || !XferDriver().isCycleModeSupported(xfer, v)) return Refuse(14, kXferKindOutOfRange);
  g->prm[14] = v;
  if (g->companion != nullptr) g->companion->prm[14] = v;
  return QEL_OK;
}

QelStatus SetGroup(XferObject* xfer, std::uint32_t i, std::uint32_t v) {
  XferRecord& record = *xfer->record;
  if (i == 14) return SetCycleMode(xfer, v);
  QelStatus status = i == 30 || i == 31 ? CheckRegionValues(record, i, v) : CheckGroupValue(record, i, v);
  if (status == QEL_OK) record.currentGroup->prm[i] = v;
  return status;
}

QelStatus SetPair(XferRecord& record, std::uint32_t i, std::uint32_t v) {
  XferPair& pair = *record.currentPair;
  const XferDestinationGroup& g = *record.currentGroup;
  switch (i) {
    case 18:
      if (Cap(g, 32) == 0) return Refuse(i, kXferKindPrmNotAvailable);
      if (v != 0 && !Subset(v, Cap(g, 32))) return Refuse(i, kXferKindOutOfRange);
      pair.prm18 = v;
      return QEL_OK;
    case 23:
      if (Cap(g, 41) == 0) return Refuse(i, kXferKindPrmNotAvailable);
      pair.prm23 = v;
      return QEL_OK;
    case 28:
      if (Cap(g, 46) == 0) return Refuse(i, kXferKindPrmNotAvailable);
      pair.prm28 = v;
      record.currentGroup->prm[28] = v;
      return QEL_OK;
    default:
      return Refuse(i, kXferKindReadOnly);
  }
}

QelStatus SetObject(XferRecord& record, std::uint32_t i, std::uint32_t v) {
  if (i == 1) return Refuse(i, kXferKindReadOnly);
  if (i == 12) {
    if (v > 3) return Refuse(i, kXferKindOutOfRange);
    record.startMode = v;
  } else {
    record.waitTimeout = v;
  }
  return QEL_OK;
}

void Put(void* out, const void* value, std::uint32_t size) { std::memcpy(out, value, size); }

QelStatus GetPair(const XferPair& pair, std::uint32_t i, void* out) {
  switch (i) {
    case 10: Put(out, &pair.eventWord, 4); break;
    case 11: Put(out, &pair.eventCounter, 4); break;
    // The id's size is 8: the first eight bytes of the server handle, its address.
    case 15: Put(out, &pair.callbackServer, 8); break;
    case 16: Put(out, &pair.callbackFunction, 8); break;
    case 17: Put(out, &pair.callbackContext, 8); break;
    case 18: Put(out, &pair.prm18, 4); break;
    case 23: Put(out, &pair.prm23, 4); break;
    default: Put(out, &pair.prm28, 4); break;
  }
  return QEL_OK;
}

}  // namespace

QelStatus XferObjectGetPrm(XferObject* xfer, std::uint32_t id, void* value) {
  std::lock_guard lock(xfer->lock);
  const XferRecord& record = *xfer->record;
  PrmRef ref{};
  const Place place = PlaceOf(id, &ref);
  const std::uint32_t i = ref.index;
  if (place == Place::kUnknown) return Refuse(i, kXferKindPrmUnknown);
  if (place == Place::kUnavailable) return Refuse(i, kXferKindPrmNotAvailable);
  if (value == nullptr) return XferStatus(3, kXferKindNullArgument);
  if (place == Place::kObject) {
    if (i == 1) return record.statusWord;
    Put(value, i == 12 ? &record.startMode : &record.waitTimeout, 4);
    return QEL_OK;
  }
  if (place == Place::kGroup) {
    if (record.currentGroup == nullptr) return Refuse(i, kXferKindPrmNotAvailable);
    Put(value, &record.currentGroup->prm[i], 4);
    return QEL_OK;
  }
  if (record.currentPair == nullptr) return Refuse(i, kXferKindPrmNotAvailable);
  return GetPair(*record.currentPair, i, value);
}

QelStatus XferObjectSetPrm(XferObject* xfer, std::uint32_t id, const void* value) {
  std::lock_guard lock(xfer->lock);
  XferRecord& record = *xfer->record;
  PrmRef ref{};
  const Place place = PlaceOf(id, &ref);
  const std::uint32_t i = ref.index;
  if (place == Place::kUnknown) return Refuse(i, kXferKindPrmUnknown);
  if (place == Place::kUnavailable) return Refuse(i, kXferKindPrmNotAvailable);
  if (i == 1 || i == 10 || i == 11 || (i >= 15 && i <= 17)) return Refuse(i, kXferKindReadOnly);
  if (value == nullptr) return XferStatus(3, kXferKindNullArgument);
  std::uint32_t v = 0;
  std::memcpy(&v, value, 4);
  if (WantsDisconnected(i) && record.connected != 0) return kXferInUse;
  if (place == Place::kObject) return SetObject(record, i, v);
  if (record.currentGroup == nullptr || (place == Place::kPair && record.currentPair == nullptr))
    return Refuse(i, kXferKindPrmNotAvailable);
  return place == Place::kGroup ? SetGroup(xfer, i, v) : SetPair(record, i, v);
}

QelStatus XferObjectSetPrmValue(XferObject* xfer, std::uint32_t id, std::uint32_t value) {
  return XferObjectSetPrm(xfer, id, &value);
}

QelStatus XferObjectSetCap(XferObject* xfer, std::uint32_t id, std::uint32_t value) {
  std::lock_guard lock(xfer->lock);
  const std::uint32_t index = XferCapIndex(id);
  if (index == 0) return Refuse(id >> 16, kXferKindCapUnknown);
  if (xfer->record->currentGroup == nullptr) return Refuse(index, kXferKindNoGroup);
  xfer->record->currentGroup->caps[index] = value;
  return QEL_OK;
}

QelStatus XferGetPrm(const QelHandle* xfer, std::uint32_t id, void* value) {
  XferObject* object = XferObjectOf(xfer);
  return object != nullptr ? XferObjectGetPrm(object, id, value) : kXferBadHandle;
}

QelStatus XferSetPrm(const QelHandle* xfer, std::uint32_t id, const void* value) {
  XferObject* object = XferObjectOf(xfer);
  return object != nullptr ? XferObjectSetPrm(object, id, value) : kXferBadHandle;
}

QelStatus XferGetCap(const QelHandle* xfer, std::uint32_t id, std::uint32_t* value) {
  return XferLocked(xfer, [&](XferObject* object) -> QelStatus {
    const std::uint32_t index = XferCapIndex(id);
    if (index == 0) return Refuse(id >> 16, kXferKindCapUnknown);
    if (object->record->currentGroup == nullptr) return Refuse(index, kXferKindNoGroup);
    if (value == nullptr) return XferStatus(3, kXferKindNullArgument);
    *value = object->record->currentGroup->caps[index];
    return QEL_OK;
  });
}

QelStatus XferSetCap(const QelHandle* xfer, std::uint32_t id, std::uint32_t value) {
  XferObject* object = XferObjectOf(xfer);
  return object != nullptr ? XferObjectSetCap(object, id, value) : kXferBadHandle;
}
