// This process's handle objects of the acquisition devices (one per board and
// slot) and the lookups the device operations make from a handle: its shared
// record, its parameter context, the board's device count. A handle object is
// a 32-byte QelHandle on the process heap: the record pointer (the device's
// shared record as this process maps it), the device tag, and its own
// address in its last eight bytes. The table has a mutex of its own, taken
// alone by each of these functions: request and event threads look handles up
// while the module's start and end add and remove them.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

inline constexpr QelStatus kAcqNoSuchDevice = 32769;
inline constexpr QelStatus kAcqInvalidHandle = kQelModuleAcquisition | 0x01;

// The handle object of (board, slot); null when this process has none.
QelHandle* AcqGetHandle(std::uint32_t board, std::uint32_t slot);
// Makes it on first use (zeroed), and points it at the slot's shared record.
QelHandle* AcqAllocHandle(std::uint32_t board, std::uint32_t slot);
// Takes it out of the table; the object itself lives on for the slot's next
// start, so that a pointer AcqGetHandle gave stays a handle object (one that
// no lookup finds) instead of freed memory.
void AcqFreeHandle(std::uint32_t board, std::uint32_t slot);

// True for the tags of an acquisition device's handle.
bool AcqIsDeviceTag(std::uint32_t tag);
// The record the handle names, when a handle object of this process names it:
// 32769 otherwise (and for a null handle).
QelStatus AcqGetDeviceRecord(const QelHandle* handle, AcqDeviceRecord** record);
// The device's parameter context: its record's blocks, "new" blocks equal to
// the current ones. 54 for a null out; a missing record, its status with the
// module part.
QelStatus AcqGetContext(const QelHandle* handle, AcqValidationContext* context);

// The board's device count as this process serves it: 0 when its own
// detection of the board failed.
std::uint32_t AcqGetDeviceCount(std::uint32_t board);
