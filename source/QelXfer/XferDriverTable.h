// The board transfer table: the 17 functions through which the transfer
// manager reaches everything board-specific, bound once when the transfer
// module starts. The manager calls them in a fixed order (XferManager.h);
// this board's entries are the XferYat functions (XferYat.h).
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferRecords.h"

struct XferDriverTable {
  QelStatus (*init)(std::uint32_t boardCount);                                                  // 0
  QelStatus (*free)();                                                                          // 1
  std::uint32_t (*getDefaultPrm)(const QelHandle* destination);                                 // 2
  QelStatus (*checkSource)(XferObject* xfer, XferSource* source, XferPair* pair);              // 3
  QelStatus (*addPairHook)(XferObject* xfer, XferSource* source, XferPair* pair);              // 4
  QelStatus (*verifyPair)(XferObject* xfer, XferSource* source, XferPair* pair);               // 5
  QelStatus (*unverifyPair)(XferObject* xfer, XferSource* source, XferPair* pair);             // 6
  QelStatus (*checkPairDesc)(XferObject* xfer, XferSource* source, XferPair* pair);            // 7
  QelStatus (*initPairPrms)(XferObject* xfer, const QelHandle* source, const QelHandle* destination);  // 8
  QelStatus (*connect)(XferObject* xfer, XferSource* firstSource);                             // 9
  QelStatus (*disconnect)(XferObject* xfer);                                                    // 10
  QelStatus (*start)(XferObject* xfer, std::int32_t frameCount);                               // 11
  QelStatus (*stop)(XferObject* xfer);                                                          // 12
  QelStatus (*abort)(XferObject* xfer);                                                         // 13
  QelStatus (*wait)(XferObject* xfer, std::uint32_t timeoutMs);                                // 14
  bool (*isCycleModeSupported)(XferObject* xfer, std::uint32_t mode);                          // 15
  // Writes what it could not do into the record's status word (parameter 1).
  QelStatus (*addDestination)(XferObject* xfer, XferDestinationGroup* group, XferSource* source, XferPair* pair,
                              std::uint32_t destinationIndex, std::uint32_t ordinal);              // 16
};
static_assert(sizeof(XferDriverTable) == 17 * sizeof(void*));

// This board's table, every entry filled.
const XferDriverTable& XferYatDriverTable();
