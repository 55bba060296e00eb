// Admission of pairs through the shared connection matrix: a place is taken
// per verified pair and given back once, by the pair that holds it or, for a
// process that died, by the next admission.
#include <cstring>

#include "firmware/win32/QuilletShared.h"
#include "platform/win/process.h"
#include "qellib/QelLog.h"
#include "source/QelXfer/XferConnMatrix.h"
#include "source/QelXfer/XferShared.h"
#include "source/QelXfer/XferStatus.h"

namespace {

std::uint32_t CellOf(std::uint32_t sourceKind, std::uint32_t destinationKind) {
  return sourceKind * kXferMatrixDestinationKinds + destinationKind;
}

std::int32_t& Counter(XferSharedData* shared, std::uint32_t board, std::uint32_t cell) {
  return shared->matrix.counters[board * kXferMatrixCells + cell];
}

bool HeldByThisProcess(const XferConnPlace& place) {
  const plat::ProcessIdentity self = plat::current_process();
  return place.processId == self.pid && place.startTime == self.start_time;
}

// Places of processes that ended go back, then every served combination's
// counter is the number of its held places.
void ReclaimDeadPlaces(XferSharedData* shared) {
  for (XferConnPlace& place : shared->places) {
    if (place.processId == 0) continue;
    if (plat::is_process_alive(plat::ProcessIdentity{place.processId, 0, place.startTime})) continue;
    LogPutLog(kQelLogError, "xferYat32", __LINE__,
              "XferYatVerifyPair: place of process %d on board %u given back (the process ended)",
              static_cast<int>(place.processId), place.board);
    place = XferConnPlace{};
  }
  std::int32_t held[kXferMatrixBoards * kXferMatrixCells] = {};
  for (const XferConnPlace& place : shared->places)
    if (place.processId != 0 && place.board < kXferMatrixBoards && place.cell < kXferMatrixCells)
      ++held[place.board * kXferMatrixCells + place.cell];
  for (std::uint32_t i = 0; i < kXferMatrixBoards * kXferMatrixCells; ++i)
    if (shared->matrix.counters[i] >= 0) shared->matrix.counters[i] = held[i];
}

XferConnPlace* FreePlace(XferSharedData* shared) {
  for (XferConnPlace& place : shared->places)
    if (place.processId == 0) return &place;
  return nullptr;
}

}  // namespace

XferSharedData* XferGetShared() { return &QuilletGetSharedData()->xfer; }

void XferClearShared(XferSharedData* shared) {
  std::memset(shared->area, 0, sizeof shared->area);
  std::memset(shared->places, 0, sizeof shared->places);
  for (std::uint32_t board = 0; board < kXferMatrixBoards; ++board)
    for (std::uint32_t s = 0; s < kXferMatrixSourceKinds; ++s)
      for (std::uint32_t d = 0; d < kXferMatrixDestinationKinds; ++d)
        Counter(shared, board, CellOf(s, d)) = kXferMatrixInitial[s][d];
}

std::int32_t XferMatrixValue(std::uint32_t board, std::uint32_t sourceKind, std::uint32_t destinationKind) {
  if (board >= kXferMatrixBoards || sourceKind >= kXferMatrixSourceKinds ||
      destinationKind >= kXferMatrixDestinationKinds)
    return -1;
  return Counter(XferGetShared(), board, CellOf(sourceKind, destinationKind));
}

QelStatus XferMatrixTakePlace(std::uint32_t board, std::uint32_t sourceKind, std::uint32_t destinationKind,
                              XferPlaceRef* ref) {
  if (board >= kXferMatrixBoards || sourceKind >= kXferMatrixSourceKinds ||
      destinationKind >= kXferMatrixDestinationKinds)
    return kXferKindNotSupported;
  XferSharedData* shared = XferGetShared();
  ReclaimDeadPlaces(shared);
  const std::uint32_t cell = CellOf(sourceKind, destinationKind);
  std::int32_t& counter = Counter(shared, board, cell);
  if (counter < 0) return kXferKindNotSupported;
  if (counter >= XferPairLimits[sourceKind][destinationKind]) return kXferPlaceTaken;
  XferConnPlace* place = FreePlace(shared);
  if (place == nullptr) return kXferPlaceTaken;
  const plat::ProcessIdentity self = plat::current_process();
  const std::uint32_t serial = ++shared->serial == 0 ? ++shared->serial : shared->serial;
  *place = XferConnPlace{self.pid, board, self.start_time, cell, serial};
  ++counter;
  ref->index = static_cast<std::uint32_t>(place - shared->places) + 1;
  ref->serial = serial;
  return QEL_OK;
}

void XferMatrixGivePlace(XferPlaceRef* ref) {
  if (ref->index == 0 || ref->index > kXferPlaceCount) {
    *ref = XferPlaceRef{};
    return;
  }
  XferSharedData* shared = XferGetShared();
  XferConnPlace& place = shared->places[ref->index - 1];
  if (place.processId != 0 && place.serial == ref->serial && HeldByThisProcess(place)) {
    std::int32_t& counter = Counter(shared, place.board, place.cell);
    if (counter > 0) --counter;
    place = XferConnPlace{};
  }
  *ref = XferPlaceRef{};
}

std::uint32_t XferMatrixPlacesOf(std::int32_t processId) {
  std::uint32_t count = 0;
  for (const XferConnPlace& place : XferGetShared()->places)
    if (place.processId != 0 && (processId == 0 || place.processId == processId)) ++count;
  return count;
}
