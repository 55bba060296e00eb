// The machinery of the acquisition channels: per channel a 125 ms timer whose
// DPC hands ticks to the channel's thread, and the thread that does the
// channel's register work at passive level.
#pragma once

#include "driver/kernel/YatExtensions.h"

inline constexpr std::int64_t kYatChannelTick = -1250000;  // 125 ms, relative
inline constexpr std::uint32_t kYatChannelStopThread = 1;
inline constexpr std::uint32_t kYatChannelTimerTick = 2;
inline constexpr std::uint32_t kYatChannelResetTransfers = 3;

// Makes the channel's DPC, timer, event, mutexes and thread.
void InitChannel(YatBoardExtension* board, std::uint32_t channel);
void ArmChannelTimer(YatBoardExtension* board, std::uint32_t channel);
// Cancels the timer and ends the thread (waiting for it).
void CloseChannel(YatBoardExtension* board, std::uint32_t channel);
// Hands a request to the channel's thread; false when its mutex stayed busy.
bool PostChannelRequest(YatBoardExtension* board, std::uint32_t channel, std::uint32_t request);
