#include "source/QelAPI/QelRecordFifo.h"

#include <cstring>

namespace {

bool IsClosed(const RecordFifo& fifo) { return fifo.closed == 1 || fifo.closedByPeer == 1; }

// Indexes come from a store other processes may write: one outside the slots
// counts as a FIFO that cannot be used rather than a place to copy to.
bool IndexesValid(const RecordFifo& fifo) {
  return fifo.writeIndex < fifo.slotCount && fifo.readIndex < fifo.slotCount;
}

std::uint32_t Next(const RecordFifo& fifo, std::uint32_t index) {
  return index + 1 >= fifo.slotCount ? 0 : index + 1;
}

bool IsFull(const RecordFifo& fifo) {
  return fifo.slotCount < 2 || !IndexesValid(fifo) || Next(fifo, fifo.writeIndex) == fifo.readIndex;
}

bool IsEmpty(const RecordFifo& fifo) { return !IndexesValid(fifo) || fifo.writeIndex == fifo.readIndex; }

std::size_t OffsetOf(const RecordFifo& fifo, std::uint32_t index) {
  return static_cast<std::size_t>(index) * fifo.recordSize;
}

QelHwStatus CopyOut(RecordFifo* fifo, const void* store, void* destination, std::uint32_t size,
                    bool advance) {
  if (const QelHwStatus status = FifoCheck(fifo); status != QELHW_OK) return status;
  if (store == nullptr || destination == nullptr) return kFifoNullPointer;
  if (IsEmpty(*fifo)) return kFifoEmpty;
  if (size < fifo->recordSize) return kFifoDestinationTooSmall;
  std::memcpy(destination, static_cast<const std::byte*>(store) + OffsetOf(*fifo, fifo->readIndex),
              fifo->recordSize);
  if (advance) fifo->readIndex = Next(*fifo, fifo->readIndex);
  return QELHW_OK;
}

}  // namespace

QelHwStatus FifoInit(RecordFifo* fifo, std::uint32_t, std::uint32_t slots) {
  if (fifo == nullptr) return kFifoNullPointer;
  fifo->slotCount = slots;
  fifo->closed = 0;
  fifo->closedByPeer = 0;
  fifo->recordSize = 0;
  return FifoReset(fifo);
}

QelHwStatus FifoReset(RecordFifo* fifo) {
  if (const QelHwStatus status = FifoCheck(fifo); status != QELHW_OK) return status;
  fifo->writeIndex = 0;
  fifo->readIndex = 0;
  fifo->overflowCount = 0;
  return QELHW_OK;
}

QelHwStatus FifoPut(RecordFifo* fifo, void* store, const void* record, std::uint32_t size) {
  if (const QelHwStatus status = FifoCheck(fifo); status != QELHW_OK) return status;
  if (store == nullptr || record == nullptr) return kFifoNullPointer;
  // A record has bytes: an empty one would leave the size unfixed.
  if (size == 0 || (fifo->recordSize != 0 && size != fifo->recordSize)) return kFifoSizeMismatch;
  if (IsFull(*fifo)) {
    ++fifo->overflowCount;
    return kFifoFull;
  }
  fifo->recordSize = size;
  std::memcpy(static_cast<std::byte*>(store) + OffsetOf(*fifo, fifo->writeIndex), record, size);
  fifo->writeIndex = Next(*fifo, fifo->writeIndex);
  return QELHW_OK;
}

QelHwStatus FifoGet(RecordFifo* fifo, const void* store, void* destination, std::uint32_t size) {
  return CopyOut(fifo, store, destination, size, true);
}

QelHwStatus FifoPeek(RecordFifo* fifo, const void* store, void* destination, std::uint32_t size) {
  return CopyOut(fifo, store, destination, size, false);
}

QelHwStatus FifoCount(RecordFifo* fifo, std::uint32_t* count) {
  if (const QelHwStatus status = FifoCheck(fifo); status != QELHW_OK) return status;
  if (count == nullptr) return kFifoNullPointer;
  const std::int64_t held = static_cast<std::int64_t>(fifo->writeIndex) - fifo->readIndex;
  *count = static_cast<std::uint32_t>(held < 0 ? held + fifo->slotCount : held);
  return QELHW_OK;
}

QelHwStatus FifoGetRecordSize(RecordFifo* fifo, std::uint32_t* size) {
  if (const QelHwStatus status = FifoCheck(fifo); status != QELHW_OK) return status;
  if (size == nullptr) return kFifoNullPointer;
  *size = fifo->recordSize;
  return QELHW_OK;
}

QelHwStatus FifoCheck(const RecordFifo* fifo) {
  if (fifo == nullptr) return kFifoNullPointer;
  return IsClosed(*fifo) ? kFifoClosed : QELHW_OK;
}

QelHwStatus FifoResize(RecordFifo*, std::uint32_t) { return kFifoNotSupported; }
