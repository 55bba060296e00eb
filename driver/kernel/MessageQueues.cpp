#include "driver/kernel/MessageQueues.h"

void AllocateMessageQueues(YatManagerExtension* manager) {
  InitMsgQueueTable(manager->messageQueues, kYatProcessSlots);
}

void FreeMessageQueues(YatManagerExtension* manager) {
  FreeMsgQueueTable(manager->messageQueues, kYatProcessSlots);
}

void ReleaseQueueEvents(YatManagerExtension* manager, std::uint32_t slot) {
  if (slot >= kYatProcessSlots) return;
  for (YatMsgQueue& queue : manager->messageQueues[slot]) ReleaseQueueEvent(&queue);
}

// Only the process's own types: queues 5..8 of a row are a board's time-stamp queues.
void ResetProcessQueues(YatManagerExtension* manager, std::uint32_t slot) {
  if (slot >= kYatProcessSlots) return;
  for (std::uint32_t type = 0; type < YAT_MSG_USER_QUEUES; ++type) ResetMsgQueue(&manager->messageQueues[slot][type]);
}
