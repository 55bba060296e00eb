// Adding a pair: its source found or added, its destination group found or
// made (with the group's defaults and the board's values), the kinds checked
// and counted. A failed add leaves the object as it was before the call.
#include <new>

#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"

namespace {

// What an add changed, so that a failure can take exactly that back.
struct PairAdd {
  XferSource* source = nullptr;
  bool newSource = false;
  XferSourceHandle* addedHandle = nullptr;  // a further copy in a buffer source's chain
  XferDestinationGroup* group = nullptr;
  bool newGroup = false;
  XferPair* pair = nullptr;
  bool appended = false;
  XferSource* currentSource = nullptr;
  XferDestinationGroup* currentGroup = nullptr;
  XferPair* currentPair = nullptr;
};

bool SameSource(const XferSource& node, const QelHandle* handle, std::uint32_t index) {
  const QelHandle* first = XferSourceHandleOf(&node);
  if (!HandleIsSameServerAndTag(first, handle)) return false;
  if (HandleIsAcqSource(handle)) return first->record == handle->record;
  if (HandleIsOtherXferSource(handle)) return node.index == index;
  if (HandleIsPixPro(handle)) return first->record == handle->record && node.index == index;
  return true;
}

template <typename T>
void Append(T** head, T* item) {
  while (*head != nullptr) head = &(*head)->next;
  *head = item;
}

template <typename T>
void Unlink(T** head, T* item) {
  while (*head != nullptr && *head != item) head = &(*head)->next;
  if (*head == item) *head = item->next;
}

QelStatus FindOrAddSource(XferRecord* record, const QelHandle* handle, std::uint32_t index, PairAdd* add) {
  for (XferSource* node = record->sources; node != nullptr; node = node->next) {
    if (!SameSource(*node, handle, index)) continue;
    add->source = node;
    if (!HandleIsBuffer(handle)) return QEL_OK;
    auto* copy = new (std::nothrow) XferSourceHandle{*handle, nullptr};
    if (copy == nullptr) return kXferNoMemory;
    Append(&node->handles, copy);
    ++node->handleCount;
    add->addedHandle = copy;
    return QEL_OK;
  }
  auto* node = new (std::nothrow) XferSource{};
  auto* copy = new (std::nothrow) XferSourceHandle{*handle, nullptr};
  if (node == nullptr || copy == nullptr) {
    delete node;
    delete copy;
    return kXferNoMemory;
  }
  node->handles = copy;
  node->handleCount = 1;
  node->kind = kXferSourceKindOther;
  node->index = index;
  Append(&record->sources, node);
  ++record->sourceCount;
  add->source = node;
  add->newSource = true;
  return QEL_OK;
}

// Pairs share a group when they name the same destination kind and index.
XferDestinationGroup* FindGroup(const XferSource& source, const XferPair& pair) {
  for (XferDestinationGroup* group = source.groups; group != nullptr; group = group->next)
    if (group->first != nullptr && group->first->kind == pair.kind &&
        group->first->destinationIndex == pair.destinationIndex)
      return group;
  return nullptr;
}

bool KindStillUsed(const XferRecord& record, std::uint32_t sourceKind, std::uint32_t pairKind) {
  for (const XferSource* s = record.sources; s != nullptr; s = s->next)
    for (const XferDestinationGroup* g = s->groups; g != nullptr; g = g->next)
      if (g->kindsCounted != 0 && s->kind == sourceKind && g->first != nullptr && g->first->kind == pairKind)
        return true;
  return false;
}

// A group leaves the counts of its kinds.
void UncountGroup(XferRecord* record, const XferSource& source, XferDestinationGroup* group, std::uint32_t pairKind) {
  if (group->kindsCounted == 0) return;
  group->kindsCounted = 0;
  if (source.kind < kXferSourceKinds && pairKind < kXferPairKinds) {
    --record->sourceKindCount[source.kind];
    --record->pairKindCount[pairKind];
    if (!KindStillUsed(*record, source.kind, pairKind)) record->kindUsed[source.kind][pairKind] = 0;
  }
}

void RemoveSourceHandle(XferSource* source, XferSourceHandle* handle) {
  Unlink(&source->handles, handle);
  --source->handleCount;
  delete handle;
}

void RemoveEmptySource(XferRecord* record, XferSource* source) {
  if (source->groups != nullptr) return;
  Unlink(&record->sources, source);
  --record->sourceCount;
  if (record->currentSource == source) record->currentSource = nullptr;
  XferFreeSource(source);
}

void Undo(XferObject* xfer, PairAdd& add) {
  XferRecord* record = xfer->record;
  if (add.appended) {
    XferRemovePair(xfer, add.source, add.group, add.pair);
  } else {
    XferFreePair(add.pair);
    if (add.newGroup && add.group != nullptr) {
      Unlink(&add.source->groups, add.group);
      --add.source->groupCount;
      XferFreeGroup(add.group);
    }
    if (add.newSource) RemoveEmptySource(record, add.source);
  }
  if (add.addedHandle != nullptr && !add.newSource) RemoveSourceHandle(add.source, add.addedHandle);
  record->currentSource = add.currentSource;
  record->currentGroup = add.currentGroup;
  record->currentPair = add.currentPair;
}

// A new group's defaults, then the board's capabilities and values.
void SetGroupDefaults(XferObject* xfer, const XferSource& source, const QelHandle* destination) {
  XferObjectSetPrmValue(xfer, 0xE0004, 0);
  XferObjectSetPrmValue(xfer, 0x180004, 1);
  XferObjectSetPrmValue(xfer, 0x190004, 1);
  for (std::uint32_t index : {2u, 6u, 30u, 31u}) XferObjectSetCap(xfer, (index << 16) | 4, 0);
  XferObjectSetCap(xfer, 0x1D0004, XferDriver().getDefaultPrm(destination));
  XferObjectSetCap(xfer, 0x230004, 0xFFFFFFFF);
  XferDriver().initPairPrms(xfer, XferSourceHandleOf(&source), destination);
}

QelStatus NewPair(const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc,
                  XferPair** out) {
  auto* pair = new (std::nothrow) XferPair{};
  auto* backEnd = new (std::nothrow) XferPairBackEnd{};
  if (pair == nullptr || backEnd == nullptr) {
    delete pair;
    delete backEnd;
    return kXferNoMemory;
  }
  pair->destination = *destination;
  pair->kind = kXferPairKindOther;
  pair->destinationIndex = destinationIndex;
  if (desc != nullptr) pair->desc = *desc;
  pair->valueCount = kXferPairValues;
  pair->backEnd = backEnd;
  *out = pair;
  return QEL_OK;
}

QelStatus JoinGroup(XferObject* xfer, PairAdd& add) {
  XferRecord* record = xfer->record;
  add.group = FindGroup(*add.source, *add.pair);
  if (add.group == nullptr) {
    add.group = new (std::nothrow) XferDestinationGroup{};
    if (add.group == nullptr) return kXferNoMemory;
    add.newGroup = true;
    Append(&add.source->groups, add.group);
    ++add.source->groupCount;
    record->currentSource = add.source;
    record->currentGroup = add.group;
    record->currentPair = add.pair;
    SetGroupDefaults(xfer, *add.source, &add.pair->destination);
  } else if (!HandleIsBuffer(&add.group->first->destination) ||
             !HandleIsSameServerAndTag(&add.group->first->destination, &add.pair->destination)) {
    return kXferNotCompatible;
  }
  Append(&add.group->first, add.pair);
  add.group->last = add.pair;
  ++add.group->pairCount;
  add.appended = true;
  return QEL_OK;
}

// The first pair of a group runs the board's hooks and counts the group's kinds.
QelStatus CheckPairKinds(XferObject* xfer, PairAdd& add) {
  XferRecord* record = xfer->record;
  const std::uint32_t sourceKind = add.source->kind, pairKind = add.pair->kind;
  if (pairKind >= kXferPairKinds || sourceKind >= kXferSourceKinds) return kXferKindNotSupported;
  if (add.group->pairCount > 1) return QEL_OK;
  XferDriver().addPairHook(xfer, add.source, add.pair);
  if (const QelStatus status = XferDriver().checkPairDesc(xfer, add.source, add.pair); status != QEL_OK)
    return XferWithModule(status);
  record->kindUsed[sourceKind][pairKind] = 1;
  ++record->sourceKindCount[sourceKind];
  ++record->pairKindCount[pairKind];
  add.group->kindsCounted = 1;
  return QEL_OK;
}

}  // namespace

bool XferHandleHasTag(const QelHandle* handle) { return HandleIsReadable(handle) && handle->tag != 0; }

QelStatus XferObjectAddPair(XferObject* xfer, const QelHandle* source, std::uint32_t sourceIndex,
                            const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc) {
  std::lock_guard lock(xfer->lock);
  if (!XferHandleHasTag(source)) return XferStatus(2, kXferKindEmptyArgument);
  if (!XferHandleHasTag(destination)) return XferStatus(3, kXferKindEmptyArgument);
  XferRecord* record = xfer->record;
  if (HandleIsSystemBuffer(destination)) {
    if (destination->record == 0) return kXferMemoryNotUsable;
  } else if (record->connected != 0) {
    return kXferInUse;
  }
  PairAdd add;
  add.currentSource = record->currentSource;
  add.currentGroup = record->currentGroup;
  add.currentPair = record->currentPair;
  if (const QelStatus status = FindOrAddSource(record, source, sourceIndex, &add); status != QEL_OK) return status;
  QelStatus status = NewPair(destination, destinationIndex, desc, &add.pair);
  if (status == QEL_OK) status = XferWithModule(XferDriver().checkSource(xfer, add.source, add.pair));
  if (status == QEL_OK) status = JoinGroup(xfer, add);
  if (status == QEL_OK) status = CheckPairKinds(xfer, add);
  if (status != QEL_OK) {
    Undo(xfer, add);
    return status;
  }
  record->currentSource = add.source;
  record->currentGroup = add.group;
  record->currentPair = add.pair;
  add.group->lastAdded = add.pair;
  return QEL_OK;
}

QelStatus XferAddPair(const QelHandle* xfer, const QelHandle* source, std::uint32_t sourceIndex,
                      const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc) {
  XferObject* object = XferObjectOf(xfer);
  if (object == nullptr) return kXferBadHandle;
  return XferObjectAddPair(object, source, sourceIndex, destination, destinationIndex, desc);
}

QelStatus XferAddPairShort(const QelHandle* xfer, const QelHandle* source, const QelHandle* destination,
                           const XferPairDesc* desc) {
  return XferAddPair(xfer, source, 0, destination, 0, desc);
}

void XferRemovePair(XferObject* xfer, XferSource* source, XferDestinationGroup* group, XferPair* pair) {
  XferRecord* record = xfer->record;
  const std::uint32_t pairKind = group->first != nullptr ? group->first->kind : pair->kind;
  Unlink(&group->first, pair);
  --group->pairCount;
  group->last = group->first;
  while (group->last != nullptr && group->last->next != nullptr) group->last = group->last->next;
  for (XferPair** p : {&group->cursor, &group->lastAdded, &group->currentPair, &record->currentPair})
    if (*p == pair) *p = nullptr;
  if (group->cursor == nullptr) group->cursorOrdinal = 0;
  XferFreePair(pair);
  if (group->first == nullptr) {
    UncountGroup(record, *source, group, pairKind);
    Unlink(&source->groups, group);
    --source->groupCount;
    if (record->currentGroup == group) record->currentGroup = nullptr;
    XferFreeGroup(group);
  }
  RemoveEmptySource(record, source);
}

XferDestinationGroup* XferGroupOfPair(XferObject* xfer, const XferPair* pair, XferSource** source) {
  for (XferSource* s = xfer->record->sources; s != nullptr; s = s->next)
    for (XferDestinationGroup* g = s->groups; g != nullptr; g = g->next)
      for (const XferPair* p = g->first; p != nullptr; p = p->next)
        if (p == pair) {
          if (source != nullptr) *source = s;
          return g;
        }
  return nullptr;
}
