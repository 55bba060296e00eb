// This board's transfer table entries (the XferYat functions) and what they
// share: the board of a transfer, the kinds of sources and destinations, the
// per-process slot registry and the worker thread.
//
// Lock order: a transfer object's lock; the global transfer mutex (connect
// and disconnect only); the acquisition module's board and host mutexes
// (source/QelAcq/AcqModule.h); the worker's own guard (its reference count), taken
// alone; the slot registry's guard, taken alone; the table of the board's buffers (source/QelBuff/YatBoardBuffers.h),
// taken alone; the board library's locks.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferRecords.h"

inline constexpr char kXferYatLogFile[] = "xferYat32";

// Source kinds and destination kinds of a pair.
enum XferSourceKind : std::uint32_t {
  kXferSourceAcq = 0,          // an acquisition device of the transfer's server
  kXferSourceOtherAcq = 1,     // an acquisition device of another server
  kXferSourcePixPro = 2,       // a pixel processor of the transfer's server
  kXferSourceHostBuffer = 3,
  kXferSourceUnknown = 4,
};
enum XferDestinationKind : std::uint32_t {
  kXferDestinationHostBuffer = 0,
  kXferDestinationServerBuffer = 1,  // a buffer that lives on the transfer's server (on-board)
  kXferDestinationPixPro = 2,
  kXferDestinationUnknown = 3,
};

// The board of a transfer: 0 for the host server and class-0xF8 servers,
// else its server's board byte minus 1.
std::uint32_t XferYatBoardOf(const XferObject* xfer);
// A buffer in host memory: a buffer of a host server, or of a server that
// names no board.
bool XferYatIsHostBuffer(const QelHandle* handle);
// A buffer that lives on the transfer's server.
bool XferYatIsServerBuffer(const XferObject* xfer, const QelHandle* handle);
bool XferYatIsAcquisition(const QelHandle* handle);

// The table's entries.
QelStatus XferYatInit(std::uint32_t boardCount);
QelStatus XferYatFree();
std::uint32_t XferYatGetDefaultPrm(const QelHandle* destination);
QelStatus XferYatCheckSource(XferObject* xfer, XferSource* source, XferPair* pair);
QelStatus XferYatAddPairHook(XferObject* xfer, XferSource* source, XferPair* pair);
QelStatus XferYatVerifyPair(XferObject* xfer, XferSource* source, XferPair* pair);
QelStatus XferYatUnverifyPair(XferObject* xfer, XferSource* source, XferPair* pair);
QelStatus XferYatCheckPairDesc(XferObject* xfer, XferSource* source, XferPair* pair);
QelStatus XferYatInitPairPrms(XferObject* xfer, const QelHandle* source, const QelHandle* destination);
QelStatus XferYatConnect(XferObject* xfer, XferSource* firstSource);
QelStatus XferYatDisconnect(XferObject* xfer);
QelStatus XferYatStart(XferObject* xfer, std::int32_t frameCount);
QelStatus XferYatStop(XferObject* xfer);
QelStatus XferYatAbort(XferObject* xfer);
QelStatus XferYatWait(XferObject* xfer, std::uint32_t timeoutMs);
bool XferYatIsCycleModeSupported(XferObject* xfer, std::uint32_t mode);
QelStatus XferYatAddDestination(XferObject* xfer, XferDestinationGroup* group, XferSource* source, XferPair* pair,
                                std::uint32_t destinationIndex, std::uint32_t ordinal);

// ---- The worker thread and the slot registry (XferYatWorker.cpp) ------------
// 1: started or already running; 0: failed.
std::uint32_t XferStartWorker(XferObject* xfer);
// 1: done; 0: the stop event could not be signalled.
std::uint32_t XferStopWorker();
// How many references hold the worker (for tests and diagnostics).
std::uint32_t XferWorkerReferences();
void XferSlotRegistrySet(std::uint32_t board, std::uint32_t slot, XferRecord* record);
XferRecord* XferSlotRegistryGet(std::uint32_t board, std::uint32_t slot);
// Clears the place when it holds `record`, and waits until the worker holds
// no pin on it any more (the worker lets a pin go without the transfer's
// lock once it sees the place cleared).
void XferSlotRegistryClear(std::uint32_t board, std::uint32_t slot, const XferRecord* record);
