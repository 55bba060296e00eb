// The connect side of this board's transfer table: the automatic internal
// buffers between an acquisition and its host buffers, the acquisition's
// stage into them, the host stage out of them, arming the board transfer, and
// the tear-down of all of it. Run under the transfer's lock and the global
// transfer mutex (XferYat.h gives the lock order).
#pragma once

#include <cstdint>

#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferRecords.h"

// A log line of the back end ("xferYat32", level 0).
void XferYatLog(int line, const char* format, std::uint32_t value);

// Gives the acquisition source its internal buffers (whole frames or strips)
// with R % of the memory kept in reserve, and the pairs into them.
QelStatus XferYatCheckAcqToHost(XferObject* xfer, XferSource* source, std::uint32_t reservePercent);
// The acquisition's stage into the on-board buffers of a group.
QelStatus XferYatConnectAcqToInternalBuffer(XferObject* xfer, XferSource* source, XferDestinationGroup* group);
// The host stage of a group of host buffers, fed by the acquisition's slot.
QelStatus XferYatConnectInternalToHost(XferObject* xfer, XferSource* source, XferDestinationGroup* group);
// Ties (or unties) each host buffer's state bit 31 to its DMA entry's armed
// bit, once the board library has bound the entries.
void XferYatLinkHostStates(XferHostStage& stage, bool link);
// Builds and arms the board transfer of every slot in use.
QelStatus XferYatArm(XferObject* xfer);

// Tear-down, each answering nothing: a slot's host stage, a slot's internal stage.
void XferYatReleaseSlot(XferObject* xfer, XferBoardSlot& slot);
void XferYatReleaseStage(XferObject* xfer, InternalBufferStage& stage);

// Removes the pair whose destination is `buffer` from any source's groups:
// 0x4C0005B when none holds it.
QelStatus XferRemoveDstFromXfer(XferObject* xfer, const QelHandle* buffer);
