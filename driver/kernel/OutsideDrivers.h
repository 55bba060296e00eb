// Links to the outside log driver QELLOG and memory driver QELMEM, and the
// memory driver's services as the rest of the driver calls them.
#pragma once

#include <cstdint>

#include "platform/kernel/qelmem.h"
#include "platform/win/nt_status.h"

// Opens "\Device\QELLOG" and takes its log interface; false leaves the log unbound.
bool QelLogConnect();
// Opens "\Device\QELMEM" and takes its function table; 0 when any step fails.
std::uint8_t QelMemConnect();
// Drops the references of whichever link is bound (unload).
void QelLogDisconnect();
void QelMemDisconnect();

// 0 = failed (refused, or no lock entry).
std::uint64_t QelMemScatterGatherLockEx(void* context, plat::kernel::QelMemLockRecord* record,
                                        std::uint64_t argument1, std::uint64_t argument2);
plat::NtStatus QelMemScatterGatherUnlockEx(plat::kernel::QelMemLockRecord* record);
// Zero-filled page-granular block for widened records; null when not offered.
void* QelMemAllocPages(std::uint32_t size);
void QelMemFreePages(void* address);

// Plain calls of the table's entries; false / 0 when the entry is empty.
bool QelMemAllocate(int entry, std::uint32_t size, std::uint64_t* physical, void** systemAddress);
void QelMemFree(void* systemAddress);
std::uint64_t QelMemPhysicalAddress(const void* systemAddress);
bool QelMemHasEntry(int entry);
