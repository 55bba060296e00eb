// The board-sync master table, in the server driver's shared data section:
// per board, one byte per channel (0-3), 1 while that channel drives the
// board's sync line. A master's apply releases the former master of its
// board, whichever process programmed it. Written under the API lock of the
// request that applies the board sync, or at board initialisation.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqDeviceRecord.h"

inline constexpr std::uint32_t kAcqBoardSyncChannels = 4;

struct AcqBoardSyncTable {
  std::uint8_t master[kAcqMaxBoards][kAcqBoardSyncChannels];
};
static_assert(sizeof(AcqBoardSyncTable) == 64);

AcqBoardSyncTable* AcqGetBoardSyncTable();
