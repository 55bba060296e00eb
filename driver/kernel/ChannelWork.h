// What a channel does on a timer tick and on a request to its thread: the
// tick wakes the thread; a reset request restarts the channel's transfers
// once its pixel clock has come back.
#pragma once

#include "driver/kernel/YatExtensions.h"

// At dispatch level, from the channel's timer DPC.
void YatChannelTick(YatBoardExtension* board, std::uint32_t channel);
// At passive level, on the channel's thread.
void YatChannelRequest(YatBoardExtension* board, std::uint32_t channel, std::uint32_t request);
