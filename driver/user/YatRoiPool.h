// The ROI lists of internal buffers, in the pool of the shared section: a
// record names its list by a reference that means the same in every process
// (the list's serial and place), so any process may free it and a stale or
// copied reference never frees another list. Lists go back with the record,
// or with the process slot that added them when that process ends.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

// Stores count 28-byte entries, the first word of each set to 28; 0, or
// QELHW_ERROR_INSUFFICIENT_MEMORY when the pool has no room,
// QELHW_ERROR_ACQUIRE_MUTEX when the library's mutex cannot be taken.
QelHwStatus Yat_RoiPool_Add(const void* entries, std::uint32_t count, std::uint64_t* reference);

// Frees the list a reference names; a reference that names no live list is
// ignored.
void Yat_RoiPool_Free(std::uint64_t reference);

// The entries of the list a reference names, or null. The pool is shared:
// the entries stay valid until the list is freed.
const std::uint8_t* Yat_RoiPool_Entries(std::uint64_t reference, std::uint32_t* count);

// Frees every list added by a process slot; the caller holds the mutex.
void Yat_RoiPool_FreeOfSlot(std::uint32_t slot);
