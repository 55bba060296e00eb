#include "driver/kernel/ChannelWork.h"

// No channel work exists yet beyond the ticks themselves.
void YatChannelTick(YatBoardExtension*, std::uint32_t) {}

void YatChannelRequest(YatBoardExtension*, std::uint32_t, std::uint32_t) {}
