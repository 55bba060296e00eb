// The transfer manager: transfer objects, their sources, destination groups
// and pairs, the transfer parameters and capabilities, the client's event
// callback and the connected state. Everything that touches the board goes
// through the board transfer table (XferDriverTable.h), in a fixed order.
//
// Every operation that takes a transfer handle finds its object through the
// handle registry of this process (never through the handle's own address)
// and answers 0x4C01301 for any other handle; unless said otherwise it then
// holds the object's lock for its whole duration.
//
// Lock order (outermost first): a transfer object's lock; the global transfer
// mutex "HABRIX_QELYATCLFOLVA4X_VELISK_MUTEX" (connect and disconnect, the
// module's start); the board library's own locks. The API lock is never held
// by a caller of these operations (the command handlers release it).
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferRecords.h"

// ---- The module ------------------------------------------------------------
QelStatus XferInit(std::uint32_t boardCount);
QelStatus XferFree();
bool XferModuleReady();

// ---- Objects -----------------------------------------------------------------
QelStatus XferNew(const QelHandle* server, const QelHandle* source, std::uint32_t sourceIndex,
                  const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc,
                  QelHandle** out);
QelStatus XferNewShort(const QelHandle* server, const QelHandle* source, const QelHandle* destination,
                       const XferPairDesc* desc, QelHandle** out);
QelStatus XferAddPair(const QelHandle* xfer, const QelHandle* source, std::uint32_t sourceIndex,
                      const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc);
QelStatus XferAddPairShort(const QelHandle* xfer, const QelHandle* source, const QelHandle* destination,
                           const XferPairDesc* desc);
QelStatus XferRelease(const QelHandle* xfer);
QelStatus XferReset(const QelHandle* xfer);

// ---- Connection and run --------------------------------------------------------
QelStatus XferConnect(const QelHandle* xfer);
QelStatus XferDisconnect(const QelHandle* xfer);
bool XferIsConnected(const QelHandle* xfer);
QelStatus XferStart(const QelHandle* xfer, std::int32_t frameCount);
QelStatus XferStop(const QelHandle* xfer);
QelStatus XferAbort(const QelHandle* xfer);
QelStatus XferWait(const QelHandle* xfer, std::uint32_t timeoutMs);

// ---- Parameters and capabilities -------------------------------------------------
// A read writes as many bytes as the id's low 16 bits give.
QelStatus XferGetPrm(const QelHandle* xfer, std::uint32_t id, void* value);
QelStatus XferSetPrm(const QelHandle* xfer, std::uint32_t id, const void* value);
QelStatus XferGetCap(const QelHandle* xfer, std::uint32_t id, std::uint32_t* value);
QelStatus XferSetCap(const QelHandle* xfer, std::uint32_t id, std::uint32_t value);

// ---- Callbacks and destinations ---------------------------------------------------
QelStatus XferRegisterCallback(const QelHandle* xfer, std::uint32_t eventWord, std::uint64_t function,
                               std::uint64_t context, const QelHandle* server);
QelStatus XferUnregisterCallback(const QelHandle* xfer, std::uint64_t function);
QelStatus XferAddDestination(const QelHandle* xfer, const QelHandle* source, std::uint32_t sourceIndex,
                             const QelHandle* destination, std::uint32_t destinationIndex, std::uint32_t ordinal);
QelStatus XferAddDestinationLocked(const QelHandle* xfer, const QelHandle* source, const QelHandle* destination,
                                   std::uint32_t ordinal);
QelStatus XferNullCommand(const QelHandle* handle);

// ---- For the back end ------------------------------------------------------------
// The object of a transfer handle; null (after a log line) for any other.
XferObject* XferObjectOf(const QelHandle* xfer);
// Zeroes every pair's event counter and every group's running word (no lock).
void XferClearPairCounters(XferObject* xfer);
// The parameter and capability operations on an object the caller holds.
QelStatus XferObjectGetPrm(XferObject* xfer, std::uint32_t id, void* value);
QelStatus XferObjectSetPrm(XferObject* xfer, std::uint32_t id, const void* value);
QelStatus XferObjectSetPrmValue(XferObject* xfer, std::uint32_t id, std::uint32_t value);
QelStatus XferObjectSetCap(XferObject* xfer, std::uint32_t id, std::uint32_t value);
QelStatus XferObjectAddPair(XferObject* xfer, const QelHandle* source, std::uint32_t sourceIndex,
                            const QelHandle* destination, std::uint32_t destinationIndex, const XferPairDesc* desc);
QelStatus XferObjectDisconnect(XferObject* xfer);
QelStatus XferObjectAbort(XferObject* xfer);
// Removes one pair from its group (and the group, and the source, once empty).
void XferRemovePair(XferObject* xfer, XferSource* source, XferDestinationGroup* group, XferPair* pair);
// The group that holds the pair, and the source of the group.
XferDestinationGroup* XferGroupOfPair(XferObject* xfer, const XferPair* pair, XferSource** source);
