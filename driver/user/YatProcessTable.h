// The process slots of the shared table and the processes that hold them.
// Every operation here runs under the library's named mutex (YatSharedData.h).
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

// Takes the lowest free slot for this process and records who holds it;
// QELHW_ERROR_PROCESS_NOT_REGISTERED when all 32 are held.
QelHwStatus Yat_TakeProcessSlot();

// Gives back this process's slot with what it still holds under it: its DMA
// owner words and ROI lists.
void Yat_GiveBackProcessSlot();

// Gives back every slot whose holder ended without closing the library: its
// DMA owner words, ROI lists, its share of the load count and the slot
// itself, each with a log line. With no holder left the load count is 0.
void Yat_ReclaimDeadHolders();
