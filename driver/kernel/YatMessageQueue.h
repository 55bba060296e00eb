// The per-process message queues of the manager: nine rings of 1024 entries
// per process slot, allocated with the manager. The message decoder fills
// them and the message requests drain them.
#pragma once

#include <cstdint>

#include "driver/kernel/MsgQueue.h"

inline constexpr std::uint32_t kYatQueuesPerProcess = YAT_MSG_QUEUE_COUNT;

using YatMessageQueue = YatMsgQueue;
