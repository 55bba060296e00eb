// The transfer manager's records: a transfer object, its sources, the
// destination groups of each source and the pairs of each group. They live
// on this process's heap and are reached only through the object's private
// record, which the handle registry finds for a transfer handle.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "source/QelAPI/QelHandle.h"
#include "source/QelXfer/XferBoardState.h"
#include "source/QelXfer/XferConnMatrix.h"

inline constexpr std::uint32_t kXferSourceKinds = 4;
inline constexpr std::uint32_t kXferPairKinds = 3;
inline constexpr std::uint32_t kXferSourceKindOther = 4;
inline constexpr std::uint32_t kXferPairKindOther = 3;
inline constexpr std::uint32_t kXferPairValues = 10;
inline constexpr std::uint32_t kXferCapCount = 52;
inline constexpr std::uint32_t kXferPrmCount = 33;  // indexes 1..32
inline constexpr std::uint32_t kXferDefaultTimeout = 4000;

// Two 64-bit words and one 32-bit word of the request, zero when none is given.
#pragma pack(push, 1)
struct XferPairDesc {
  std::uint64_t first;
  std::uint64_t second;
  std::uint32_t third;
};
#pragma pack(pop)
static_assert(sizeof(XferPairDesc) == 20);

// What the back end keeps per pair.
struct XferPairBackEnd {
  XferPlaceRef place;           // the connection-matrix place the pair holds
  std::uint32_t hardwareIndex;  // the destination's hardware buffer index
};

struct XferPair {
  QelHandle destination;
  std::uint32_t kind;           // destination kind 0..2, 3 for anything else
  std::uint32_t destinationIndex;
  XferPairDesc desc;
  std::uint32_t valueCount;
  std::uint32_t values[kXferPairValues];
  std::uint32_t eventWord;      // parameter 10
  std::uint32_t eventCounter;   // parameter 11
  QelHandle callbackServer;     // parameter 15
  std::uint64_t callbackFunction;  // parameter 16
  std::uint64_t callbackContext;   // parameter 17
  std::uint32_t prm18;
  std::uint32_t prm23;
  std::uint32_t prm28;
  std::uint32_t runningWord;
  XferPair* next;
  XferPairBackEnd* backEnd;
};

struct XferDestinationGroup {
  std::uint32_t pairCount;
  XferPair* first;
  XferPair* last;
  XferPair* cursor;             // last pair found by ordinal
  std::uint32_t cursorOrdinal;
  std::array<std::uint32_t, kXferCapCount + 1> caps;  // by capability index 1..52
  std::array<std::uint32_t, kXferPrmCount> prm;       // the group's parameters by index
  XferDestinationGroup* companion;  // mirrors parameter 14
  XferPair* lastAdded;
  XferPair* currentPair;        // the pair the next buffer event is for
  std::uint32_t runningWord;
  std::uint32_t eventCounter;
  std::uint32_t kindsCounted;   // its kinds were counted in the record
  XferDestinationGroup* next;
};

struct XferSourceHandle {
  QelHandle handle;
  XferSourceHandle* next;
};

struct XferSource {
  XferSourceHandle* handles;    // the first one names the source
  std::uint32_t handleCount;
  std::uint32_t kind;           // 0..3, 4 for anything else
  std::uint32_t index;
  std::uint32_t groupCount;
  XferDestinationGroup* groups;
  XferSource* next;
};

struct XferObject;

// The private record, zero-filled at every reset but for its object.
struct XferRecord {
  XferObject* object;
  std::uint32_t connected;
  XferSource* sources;
  std::uint32_t sourceCount;
  std::uint32_t kindUsed[kXferSourceKinds][kXferPairKinds];
  std::uint32_t sourceKindCount[kXferSourceKinds];
  std::uint32_t pairKindCount[kXferPairKinds];
  XferSource* currentSource;
  XferDestinationGroup* currentGroup;
  XferPair* currentPair;
  std::uint32_t statusWord;     // the status of a read of parameter 1
  std::uint32_t startMode;      // parameter 12
  std::uint32_t waitTimeout;    // parameter 13
  XferBoardState board;
};

// The object behind a transfer handle. Its lock, a critical section of this
// process, serialises every operation on it; the worker thread takes it for
// each message.
struct XferObject {
  QelHandle handle;
  std::recursive_mutex lock;
  XferRecord* record;
};

// The first handle of a source.
inline const QelHandle* XferSourceHandleOf(const XferSource* source) {
  return source != nullptr && source->handles != nullptr ? &source->handles->handle : nullptr;
}
