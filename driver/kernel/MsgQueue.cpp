#include "driver/kernel/MsgQueue.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr char kQueueTagLetters[YAT_MSG_QUEUE_COUNT] = {'t', 'u', 'v', 'w', 'x', 'y', 'z', 'A', 'B'};

std::uint32_t NextIndex(std::uint32_t index) { return (index + 1) % YAT_MSG_QUEUE_ENTRIES; }

std::uint8_t* Entry(YatMsgQueue* queue, std::uint32_t index) {
  return queue->ring + static_cast<std::size_t>(index) * queue->entrySize;
}

// The queue lock, raising to dispatch level unless the caller is there already.
class QueueLock {
 public:
  QueueLock(YatMsgQueue* queue, bool atDispatchLevel) : queue_(queue), atDispatch_(atDispatchLevel) {
    if (atDispatch_) acquire_spin_lock_at_dpc_level(&queue_->lock);
    else acquire_spin_lock(&queue_->lock, &old_);
  }
  ~QueueLock() {
    if (atDispatch_) release_spin_lock_from_dpc_level(&queue_->lock);
    else release_spin_lock(&queue_->lock, old_);
  }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;

 private:
  YatMsgQueue* queue_;
  bool atDispatch_;
  Irql old_ = kPassiveLevel;
};

void EmptyLocked(YatMsgQueue* queue) {
  queue->writeIndex = 0;
  queue->readIndex = 0;
  queue->lostCount = 0;
  ++queue->generation;
}

// The oldest record with its present bit and lost count (at most 255).
void CopyOldest(YatMsgQueue* queue, void* destination, std::uint32_t lost) {
  const std::uint8_t* entry = Entry(queue, queue->readIndex);
  std::memcpy(destination, entry, queue->entrySize);
  auto* lastWord = static_cast<std::uint8_t*>(destination) + queue->entrySize - sizeof(std::uint32_t);
  std::uint32_t last = 0;
  std::memcpy(&last, lastWord, sizeof last);
  last |= YAT_MSG_PRESENT;
  if (lost != 0) last = (last & ~(0xFFu << YAT_MSG_LOST_SHIFT)) | std::min(lost, YAT_MSG_LOST_MAX) << YAT_MSG_LOST_SHIFT;
  std::memcpy(lastWord, &last, sizeof last);
}

// Drops an event taken out of its queue once no append still signals it.
void DropEvent(YatMsgQueue* queue, UserEvent* event) {
  if (event == nullptr) return;
  while (queue->signalsInFlight.load(std::memory_order_acquire) != 0) std::this_thread::yield();
  dereference_user_event(event);
}

}  // namespace

void InitMsgQueueTable(YatMsgQueueRow* rows, std::uint32_t rowCount) {
  for (std::uint32_t row = 0; row < rowCount; ++row) {
    for (std::uint32_t type = 0; type < YAT_MSG_QUEUE_COUNT; ++type) {
      YatMsgQueue* queue = &rows[row][type];
      queue->event = nullptr;
      queue->entrySize = YAT_MSG_ENTRY_SIZES[type];
      const std::size_t bytes = static_cast<std::size_t>(queue->entrySize) * YAT_MSG_QUEUE_ENTRIES;
      queue->ring = static_cast<std::uint8_t*>(
          allocate_pool(PoolType::kNonPaged, bytes, StavroPoolTag(kQueueTagLetters[type])));
      if (queue->ring != nullptr) std::memset(queue->ring, 0, bytes);
      queue->generation = 0;
      EmptyLocked(queue);
      queue->signalsInFlight.store(0);
      initialize_spin_lock(&queue->lock);
    }
  }
}

void FreeMsgQueueTable(YatMsgQueueRow* rows, std::uint32_t rowCount) {
  for (std::uint32_t row = 0; row < rowCount; ++row) {
    for (YatMsgQueue& queue : rows[row]) {
      ReleaseQueueEvent(&queue);
      if (queue.ring != nullptr) free_pool(queue.ring);
      queue.ring = nullptr;
    }
  }
}

QelHwStatus AddMsgToFifo(YatMsgQueue* queue, const void* record) {
  if (queue == nullptr || record == nullptr) return QELHW_ERROR_NULL_PTR;
  if (queue->ring == nullptr) {
    STAVRO_LOG(kLogError, "%s: Error <AddMsgToFifo> Fifo memory not allocated");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  UserEvent* event = nullptr;
  bool dropped = false;
  {
    QueueLock lock(queue, false);
    const std::uint32_t next = NextIndex(queue->writeIndex);
    if (next == queue->readIndex) {
      ++queue->lostCount;
      dropped = true;
    } else {
      std::memcpy(Entry(queue, queue->writeIndex), record, queue->entrySize);
      queue->writeIndex = next;
      event = queue->event;
      if (event != nullptr) queue->signalsInFlight.fetch_add(1, std::memory_order_acq_rel);
    }
  }
  if (dropped) STAVRO_LOG(kLogTrace, "%s:  AddMsgToFifo => Message Fifo Overflow");
  if (event != nullptr) {
    signal_user_event(event);
    queue->signalsInFlight.fetch_sub(1, std::memory_order_acq_rel);
  }
  return QELHW_OK;
}

QelHwStatus GetMessageEvent(YatMsgQueue* queue, void* destination, bool atDispatchLevel) {
  if (queue == nullptr || destination == nullptr) return QELHW_ERROR_NULL_PTR;
  if (queue->ring == nullptr) {
    STAVRO_LOG(kLogError, "%s: Error <GetMessageEvent> Fifo memory not allocated");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  std::uint32_t lost = 0;
  {
    QueueLock lock(queue, atDispatchLevel);
    if (queue->readIndex == queue->writeIndex) {
      std::memset(destination, 0, queue->entrySize);
    } else {
      std::uint8_t* entry = Entry(queue, queue->readIndex);
      std::uint32_t last = 0;
      std::uint8_t* lastWord = entry + queue->entrySize - sizeof last;
      std::memcpy(&last, lastWord, sizeof last);
      last |= YAT_MSG_PRESENT;
      if (queue->lostCount != 0) {
        lost = queue->lostCount;
        last = (last & ~(0xFFu << YAT_MSG_LOST_SHIFT)) | std::min(lost, YAT_MSG_LOST_MAX) << YAT_MSG_LOST_SHIFT;
        queue->lostCount = 0;
      }
      std::memcpy(lastWord, &last, sizeof last);
      std::memcpy(destination, entry, queue->entrySize);
      queue->readIndex = NextIndex(queue->readIndex);
    }
  }
  if (lost != 0) STAVRO_LOG(kLogError, "%s: Error <GetMessageEvent> Queue over flow [%d]", static_cast<int>(lost));
  return QELHW_OK;
}

bool ReplaceNewestMessage(YatMsgQueue* queue, const void* record, YatMsgMergeTest mergeable) {
  if (queue == nullptr || queue->ring == nullptr || record == nullptr || mergeable == nullptr) return false;
  QueueLock lock(queue, false);
  if (queue->readIndex == queue->writeIndex) return false;
  const std::uint32_t newest = (queue->writeIndex + YAT_MSG_QUEUE_ENTRIES - 1) % YAT_MSG_QUEUE_ENTRIES;
  std::uint8_t* entry = Entry(queue, newest);
  if (!mergeable(entry, record)) return false;
  std::memcpy(entry, record, queue->entrySize);
  return true;
}

QelHwStatus PeekMessageEvent(YatMsgQueue* queue, void* destination, YatMsgTicket* ticket) {
  if (queue == nullptr || destination == nullptr || ticket == nullptr) return QELHW_ERROR_NULL_PTR;
  if (queue->ring == nullptr) {
    STAVRO_LOG(kLogError, "%s: Error <GetMessageEvent> Fifo memory not allocated");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  *ticket = YatMsgTicket{};
  QueueLock lock(queue, false);
  if (queue->readIndex == queue->writeIndex) {
    std::memset(destination, 0, queue->entrySize);
    return QELHW_OK;
  }
  CopyOldest(queue, destination, queue->lostCount);
  *ticket = YatMsgTicket{true, queue->readIndex, queue->generation, queue->lostCount};
  return QELHW_OK;
}

bool CommitMessage(YatMsgQueue* queue, const YatMsgTicket& ticket) {
  if (!ticket.present) return true;
  std::uint32_t lost = 0;
  {
    QueueLock lock(queue, false);
    if (queue->generation != ticket.generation || queue->readIndex != ticket.readIndex ||
        queue->readIndex == queue->writeIndex)
      return false;
    queue->readIndex = NextIndex(queue->readIndex);
    // Drops counted after the copy are reported with the next record.
    lost = std::min(ticket.lost, queue->lostCount);
    queue->lostCount -= lost;
  }
  if (lost != 0) STAVRO_LOG(kLogError, "%s: Error <GetMessageEvent> Queue over flow [%d]", static_cast<int>(lost));
  return true;
}

void ResetMsgQueue(YatMsgQueue* queue) {
  if (queue == nullptr) return;
  QueueLock lock(queue, false);
  EmptyLocked(queue);
}

void AttachQueueEvent(YatMsgQueue* queue, UserEvent* event) {
  if (queue == nullptr) return;
  UserEvent* previous = nullptr;
  {
    QueueLock lock(queue, false);
    previous = queue->event;
    queue->event = event;
    EmptyLocked(queue);
  }
  DropEvent(queue, previous);
}

void ReleaseQueueEvent(YatMsgQueue* queue) {
  if (queue == nullptr) return;
  UserEvent* previous = nullptr;
  {
    QueueLock lock(queue, false);
    previous = queue->event;
    queue->event = nullptr;
  }
  DropEvent(queue, previous);
}
