// The current-pair table: which pair of a group the back end works on
// between its calls, per transfer object, source and group.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferRecords.h"

// Updates the place of (xfer, source, group), else takes the first free one
// of the object's server; 71 when the server has none left.
QelStatus XferRememberCurrentPair(const XferObject* xfer, const XferSource* source, const XferDestinationGroup* group,
                                  XferPair* pair);
// The remembered pair and its ordinal in the group; the place is cleared.
// Null (ordinal 0) when nothing is remembered.
XferPair* XferTakeCurrentPair(const XferObject* xfer, const XferSource* source, const XferDestinationGroup* group,
                              std::uint32_t* ordinal);
// Clears every place of the object; of every object when it is null.
void XferForgetCurrentPairs(const XferObject* xfer);
