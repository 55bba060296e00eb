// This process's board-library acquisition handles, one per (board, slot):
// every board-library acquisition call of a device goes through its entry.
// The entries are written under the host mutex (detection, registration) or
// by the process's own requests; a handle belongs to the process that opened
// it and is never shared.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

struct YatAcqHandle;

// QelHw_Acq_GetHandle on the connector index (0 or 1), kept in the entry.
QelHwStatus AcqOpenHwHandle(std::uint32_t board, std::uint32_t slot, std::uint32_t connector);
bool AcqHasHwHandle(std::uint32_t board, std::uint32_t slot);
// QelHw_Acq_ReleaseHandle on the entry, then clears it.
void AcqCloseHwHandle(std::uint32_t board, std::uint32_t slot);
// The entry; null when none (or outside 16 x 13).
YatAcqHandle* AcqGetHwHandle(std::uint32_t board, std::uint32_t slot);
