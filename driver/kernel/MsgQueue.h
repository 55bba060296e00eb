// The per-process message queues: a ring of 1024 fixed-size entries per
// process slot and message type, guarded by a spin lock, with an optional
// user event signalled on each append. The rings are allocated once, when
// the manager is set up, and never move.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/kernel/YatMessages.h"
#include "driver/user/QelHwStatus.h"
#include "platform/kernel/client.h"
#include "platform/kernel/sync.h"

struct YatMsgQueue {
  plat::kernel::UserEvent* event;  // held by reference; null when none is attached
  std::uint32_t entrySize;
  std::uint8_t* ring;  // YAT_MSG_QUEUE_ENTRIES entries; null when the allocation failed
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
  std::uint32_t lostCount;
  plat::kernel::SpinLock lock;
  // Appends that took the event under the lock and signal it after the lock
  // is released; a release of the event waits for them before dropping it.
  std::atomic<std::uint32_t> signalsInFlight;
  std::uint32_t generation;  // changes whenever the queue is emptied
};

using YatMsgQueueRow = YatMsgQueue[YAT_MSG_QUEUE_COUNT];

// Sets up 16 rows of 9 queues (entry sizes by type). A ring that cannot be
// allocated leaves its queue without one.
void InitMsgQueueTable(YatMsgQueueRow* rows, std::uint32_t rowCount);
// Releases every ring and event (driver unload).
void FreeMsgQueueTable(YatMsgQueueRow* rows, std::uint32_t rowCount);

// Appends one record of the queue's entry size and signals the event. A full
// queue drops the record and counts it; that is still success.
QelHwStatus AddMsgToFifo(YatMsgQueue* queue, const void* record);
// Hands out the oldest record (present bit and lost count set in its last
// word) into `destination` (entry-size bytes), or zeros when empty.
QelHwStatus GetMessageEvent(YatMsgQueue* queue, void* destination, bool atDispatchLevel);

// A fetch that removes the record only once it reached the caller: the
// oldest record is copied out (present bit and lost count set as
// GetMessageEvent sets them) with a ticket, and taken out of the queue by
// CommitMessage only if it is still the oldest one (another fetch of the
// same queue, or a reset, may have come first). An empty queue gives zeros
// and a ticket that commits nothing.
struct YatMsgTicket {
  bool present = false;
  std::uint32_t readIndex = 0;
  std::uint32_t generation = 0;
  std::uint32_t lost = 0;
};
QelHwStatus PeekMessageEvent(YatMsgQueue* queue, void* destination, YatMsgTicket* ticket);
// False when the record was taken meanwhile: the caller fetches again.
bool CommitMessage(YatMsgQueue* queue, const YatMsgTicket& ticket);

// The merge of consecutive records: when the queue holds an unread record and
// `mergeable(newest, record)` says so, the newest unread record is replaced
// by `record` and the answer is true; otherwise nothing changes. A record
// already handed out is never touched.
using YatMsgMergeTest = bool (*)(const void* newest, const void* record);
bool ReplaceNewestMessage(YatMsgQueue* queue, const void* record, YatMsgMergeTest mergeable);

// Empties the queue (indices and lost count to 0), keeping its event.
void ResetMsgQueue(YatMsgQueue* queue);
// Empties the queue and attaches `event` (may be null), releasing the one it replaces.
void AttachQueueEvent(YatMsgQueue* queue, plat::kernel::UserEvent* event);
// Detaches and releases the queue's event; the records stay.
void ReleaseQueueEvent(YatMsgQueue* queue);
