#include "driver/kernel/MessageQueues.h"

#include <cstring>

#include "driver/kernel/StavroGlobals.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagQueue = StavroPoolTag('Q');

}  // namespace

void AllocateMessageQueues(YatManagerExtension* manager) {
  for (auto& slotQueues : manager->messageQueues) {
    for (std::uint32_t q = 0; q < kYatQueuesPerProcess; ++q) {
      YatMessageQueue& queue = slotQueues[q];
      queue.entrySize = kYatQueueEntrySizes[q];
      initialize_spin_lock(&queue.lock);
      const std::size_t size = std::size_t{queue.entrySize} * kYatQueueEntries;
      queue.ring = static_cast<std::uint8_t*>(allocate_pool(PoolType::kNonPaged, size, kTagQueue));
      if (queue.ring != nullptr) std::memset(queue.ring, 0, size);
      queue.head = queue.count = queue.lost = 0;
    }
  }
}

void FreeMessageQueues(YatManagerExtension* manager) {
  for (std::uint32_t slot = 0; slot < kYatProcessSlots; ++slot) {
    ReleaseQueueEvents(manager, slot);
    for (YatMessageQueue& queue : manager->messageQueues[slot]) {
      if (queue.ring != nullptr) free_pool_with_tag(queue.ring, kTagQueue);
      queue.ring = nullptr;
      queue.head = queue.count = 0;
    }
  }
}

void ReleaseQueueEvents(YatManagerExtension* manager, std::uint32_t slot) {
  if (slot >= kYatProcessSlots) return;
  for (YatMessageQueue& queue : manager->messageQueues[slot]) {
    Irql old;
    acquire_spin_lock(&queue.lock, &old);
    UserEvent* event = queue.event;
    queue.event = nullptr;
    release_spin_lock(&queue.lock, old);
    if (event != nullptr) dereference_user_event(event);
  }
}
