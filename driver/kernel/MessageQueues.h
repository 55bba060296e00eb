// The rings of the manager's message queues: allocated with the manager,
// freed when it closes.
#pragma once

#include "driver/kernel/YatExtensions.h"

// A ring that cannot be allocated is left empty (its queue takes no message).
void AllocateMessageQueues(YatManagerExtension* manager);
void FreeMessageQueues(YatManagerExtension* manager);
// Releases the user events registered on a process slot's queues.
void ReleaseQueueEvents(YatManagerExtension* manager, std::uint32_t slot);
// Empties a process slot's own queues (a new process takes the slot).
void ResetProcessQueues(YatManagerExtension* manager, std::uint32_t slot);
