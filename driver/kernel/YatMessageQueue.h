// The per-process message queues of the manager: nine rings of 1024 entries
// per process slot, allocated with the manager. The message decoder fills
// them and the message requests drain them.
#pragma once

#include <cstdint>

#include "platform/kernel/client.h"
#include "platform/kernel/sync.h"

inline constexpr std::uint32_t kYatQueuesPerProcess = 9;
inline constexpr std::uint32_t kYatQueueEntries = 1024;
// Entry size in bytes of queues 0 to 8.
inline constexpr std::uint32_t kYatQueueEntrySizes[kYatQueuesPerProcess] = {20, 40, 32, 4, 32, 20, 20, 20, 20};

struct YatMessageQueue {
  std::uint32_t entrySize;
  std::uint8_t* ring;  // kYatQueueEntries entries; null when it could not be allocated
  std::uint32_t head;
  std::uint32_t count;
  std::uint32_t lost;
  plat::kernel::SpinLock lock;
  plat::kernel::UserEvent* event;  // registered by the owner process
};
