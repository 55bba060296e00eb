// The connection matrix's operations (the records are in XferShared.h). The
// caller holds the global transfer mutex.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

// A pair's hold on a place: 1 + the place's index and its serial; zeros for none.
struct XferPlaceRef {
  std::uint32_t index;
  std::uint32_t serial;
};

// The counter of a combination; -1 outside the matrix.
std::int32_t XferMatrixValue(std::uint32_t board, std::uint32_t sourceKind, std::uint32_t destinationKind);
// Gives back the places of processes that ended, then takes one place:
// 0x4C0004D for a combination the board does not serve, 0x4C0004F when its
// limit is reached (or no place is left).
QelStatus XferMatrixTakePlace(std::uint32_t board, std::uint32_t sourceKind, std::uint32_t destinationKind,
                              XferPlaceRef* ref);
// Gives the place back when this process still holds it under that serial;
// the reference is cleared in any case.
void XferMatrixGivePlace(XferPlaceRef* ref);
// Held places of a process (of every process for 0).
std::uint32_t XferMatrixPlacesOf(std::int32_t processId);
