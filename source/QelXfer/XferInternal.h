// What the files of the transfer manager share among themselves.
#pragma once

#include <cstdint>
#include <mutex>

#include "source/QelAPI/QelHandle.h"
#include "source/QelXfer/XferCurrentPairs.h"
#include "source/QelXfer/XferDriverTable.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferRecords.h"

// The table bound at the module's start (this board's table before it).
const XferDriverTable& XferDriver();

// A readable handle with a non-zero tag.
bool XferHandleHasTag(const QelHandle* handle);

void XferFreePair(XferPair* pair);
void XferFreeGroup(XferDestinationGroup* group);
void XferFreeSource(XferSource* source);


// Runs `operation` on the object of a handle, under its lock; 0x4C01301 for
// a handle that names none.
template <typename Operation>
QelStatus XferLocked(const QelHandle* handle, Operation&& operation) {
  XferObject* xfer = XferObjectOf(handle);
  if (xfer == nullptr) return 0x4C01301;
  std::lock_guard lock(xfer->lock);
  return operation(xfer);
}

// The capability index of an id (index << 16) | 4, 0 for any other id.
inline std::uint32_t XferCapIndex(std::uint32_t id) {
  const std::uint32_t index = id >> 16;
  return (id & 0xFFFFu) == 4 && index >= 1 && index <= kXferCapCount ? index : 0;
}

// Gives back the connect-matrix places of the groups' first pairs, in order,
// up to (not including) the given group; every group when it is null.
void XferUnverifyPairs(XferObject* xfer, const XferSource* untilSource, const XferDestinationGroup* untilGroup);
// Verifies the first pair of every group in order; a failure gives back the
// places taken before it.
QelStatus XferVerifyPairs(XferObject* xfer);
