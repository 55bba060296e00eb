// The client's event callback on the current pair, the choice of a pair as
// the next destination of its group, and the counters the run clears.
#include "source/QelAPI/QelApi.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"

namespace {

constexpr std::uint32_t kCountedEvents = 1u << 25;
constexpr std::uint32_t kCountBit24 = 1u << 24;

QelStatus CheckEventWord(const XferDestinationGroup& group, std::uint32_t eventWord) {
  if ((group.caps[1] & eventWord) != (eventWord & 0xFFFF0000u)) return kXferEventNotSupported;
  if ((eventWord & kCountedEvents) == 0) return QEL_OK;
  if ((eventWord & 0xFFFFu) == 0) return XferStatus(2, kXferKindEmptyArgument);
  if ((eventWord & kCountBit24) != 0) return XferStatus(10, kXferKindConflict);
  return QEL_OK;
}

// The ordinal-th pair (from 0) of the group that names the destination.
XferPair* PairByOrdinal(XferDestinationGroup* group, const QelHandle* destination, std::uint32_t ordinal) {
  std::uint32_t seen = 0;
  XferPair* pair = group->first;
  if (group->cursor != nullptr && group->cursorOrdinal <= ordinal &&
      HandleIsSameObject(&group->cursor->destination, destination)) {
    pair = group->cursor;
    seen = group->cursorOrdinal;
  }
  for (; pair != nullptr; pair = pair->next) {
    if (!HandleIsSameObject(&pair->destination, destination)) continue;
    if (seen == ordinal) {
      group->cursor = pair;
      group->cursorOrdinal = ordinal;
      return pair;
    }
    ++seen;
  }
  return nullptr;
}

XferDestinationGroup* GroupNaming(XferSource* source, const QelHandle* destination, std::uint32_t index) {
  for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next)
    for (const XferPair* pair = group->first; pair != nullptr; pair = pair->next)
      if (pair->destinationIndex == index && HandleIsSameObject(&pair->destination, destination)) return group;
  return nullptr;
}

XferSource* SourceNaming(XferRecord* record, const QelHandle* handle, std::uint32_t index) {
  for (XferSource* source = record->sources; source != nullptr; source = source->next)
    for (const XferSourceHandle* h = source->handles; h != nullptr; h = h->next)
      if (HandleIsSameObject(&h->handle, handle) && (!HandleIsPixPro(handle) || source->index == index))
        return source;
  return nullptr;
}

}  // namespace

QelStatus XferRegisterCallback(const QelHandle* xfer, std::uint32_t eventWord, std::uint64_t function,
                               std::uint64_t context, const QelHandle* server) {
  return XferLocked(xfer, [&](XferObject* object) -> QelStatus {
    XferRecord* record = object->record;
    XferPair* pair = record->currentPair;
    if (record->connected != 0 || (pair != nullptr && pair->eventWord != 0)) return kXferInUse;
    if (pair == nullptr || record->currentGroup == nullptr) return kXferNoPair;
    if (const QelStatus status = CheckEventWord(*record->currentGroup, eventWord); status != QEL_OK) return status;
    pair->callbackServer = HandleIsReadable(server) ? *server : QelHandle{};
    pair->callbackFunction = function;
    pair->callbackContext = context;
    pair->eventWord = eventWord;
    pair->eventCounter = 0;
    return QEL_OK;
  });
}

QelStatus XferUnregisterCallback(const QelHandle* xfer, std::uint64_t function) {
  return XferLocked(xfer, [function](XferObject* object) -> QelStatus {
    XferRecord* record = object->record;
    XferPair* pair = record->currentPair;
    if (record->connected != 0) return kXferInUse;
    if (pair == nullptr) return kXferNoPair;
    if (function != 0 && function != pair->callbackFunction) return XferStatus(2, kXferKindBadArgument);
    pair->callbackServer = QelHandle{};
    pair->callbackFunction = 0;
    pair->callbackContext = 0;
    pair->eventWord = 0;
    pair->eventCounter = 0;
    return QEL_OK;
  });
}

QelStatus XferAddDestination(const QelHandle* xfer, const QelHandle* source, std::uint32_t sourceIndex,
                             const QelHandle* destination, std::uint32_t destinationIndex, std::uint32_t ordinal) {
  return XferLocked(xfer, [&](XferObject* object) -> QelStatus {
    XferRecord* record = object->record;
    XferSource* node = SourceNaming(record, source, sourceIndex);
    if (node == nullptr) return XferStatus(2, kXferKindBadArgument);
    XferDestinationGroup* group = GroupNaming(node, destination, destinationIndex);
    if (group == nullptr) return XferStatus(4, kXferKindBadArgument);
    XferPair* pair = PairByOrdinal(group, destination, ordinal);
    if (pair == nullptr) return XferStatus(6, kXferKindBadArgument);
    record->currentSource = node;
    record->currentGroup = group;
    record->currentPair = pair;
    group->currentPair = pair;
    if (group->last != nullptr) group->last->runningWord = 0;
    const XferDriverTable& table = XferDriver();
    if (table.addDestination == nullptr) return QEL_OK;
    return XferWithModule(table.addDestination(object, group, node, pair, destinationIndex, ordinal));
  });
}

QelStatus XferAddDestinationLocked(const QelHandle* xfer, const QelHandle* source, const QelHandle* destination,
                                   std::uint32_t ordinal) {
  const QelStatus status = XferAddDestination(xfer, source, 0, destination, 0, ordinal);
  if (status == XferStatus(4, kXferKindBadArgument)) return XferStatus(3, kXferKindBadArgument);
  if (status == XferStatus(6, kXferKindBadArgument)) return XferStatus(4, kXferKindBadArgument);
  return status;
}

void XferClearPairCounters(XferObject* xfer) {
  for (XferSource* source = xfer->record->sources; source != nullptr; source = source->next)
    for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next) {
      group->runningWord = 0;
      for (XferPair* pair = group->first; pair != nullptr; pair = pair->next) pair->eventCounter = 0;
    }
}
