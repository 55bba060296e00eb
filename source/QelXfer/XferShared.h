// The transfer module's block of the server driver's shared data section:
// the transfer area, and the connection matrix that admits source-to-
// destination pairs over every process of the machine.
//
// XferConnMatrix: per board a block of 12 counters, element
// (source kind x 3 + destination kind). A negative counter marks a
// combination the board does not serve; otherwise it counts the verified
// pairs of that combination over all processes. Each verified pair holds one
// place of the place table, which names the process (id and start time) that
// holds it; a counter is always the number of held places of its
// combination, so the places of a process that died are found and given
// back, and a place goes back exactly once.
//
// Everything here is changed only under the global transfer mutex
// "HABRIX_QELYATCLFOLVA4X_VELISK_MUTEX" (connect, disconnect, the module's
// start).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kXferMatrixBoards = 16;
inline constexpr std::uint32_t kXferMatrixSourceKinds = 4;
inline constexpr std::uint32_t kXferMatrixDestinationKinds = 3;
inline constexpr std::uint32_t kXferMatrixCells = kXferMatrixSourceKinds * kXferMatrixDestinationKinds;
inline constexpr std::uint32_t kXferTransferAreaSize = 1984;
inline constexpr std::uint32_t kXferPlaceCount = 256;

// The largest count of each combination, by source kind then destination kind.
inline constexpr std::int32_t XferPairLimits[kXferMatrixSourceKinds][kXferMatrixDestinationKinds] = {
    {2, 2, 2}, {2, 0, 2}, {4, 0, 0}, {0, 0, 1}};
// The counters a board starts with: -1 where the combination is not served.
inline constexpr std::int32_t kXferMatrixInitial[kXferMatrixSourceKinds][kXferMatrixDestinationKinds] = {
    {0, 0, 0}, {0, -1, 0}, {0, -1, -1}, {-1, -1, 0}};

struct XferConnMatrix {
  std::int32_t counters[kXferMatrixBoards * kXferMatrixCells];  // (board x 4 + source kind) x 3 + destination kind
};
static_assert(sizeof(XferConnMatrix) == 768);

// One verified pair's place.
struct XferConnPlace {
  std::int32_t processId;  // 0: free
  std::uint32_t board;
  std::uint64_t startTime;  // of the holding process
  std::uint32_t cell;       // element of the board's block
  std::uint32_t serial;     // new at every take: a stale reference names nothing
};
static_assert(sizeof(XferConnPlace) == 24);
static_assert(offsetof(XferConnPlace, startTime) == 8);
static_assert(offsetof(XferConnPlace, cell) == 16);

struct XferSharedData {
  std::uint32_t initialised;  // set by the first process that started the module
  std::uint32_t serial;       // the last place serial given out
  std::uint8_t area[kXferTransferAreaSize];
  XferConnMatrix matrix;
  XferConnPlace places[kXferPlaceCount];
};
static_assert(offsetof(XferSharedData, area) == 8);
static_assert(offsetof(XferSharedData, matrix) == 8 + kXferTransferAreaSize);
static_assert(offsetof(XferSharedData, places) == 8 + kXferTransferAreaSize + 768);
static_assert(sizeof(XferSharedData) == 8 + kXferTransferAreaSize + 768 + 24 * kXferPlaceCount);

// The block in the server driver's section.
XferSharedData* XferGetShared();
// The first process's clearing: the area and the places cleared, every
// board's counters set to their initial values.
void XferClearShared(XferSharedData* shared);
