// A FIFO of fixed-size records over a byte store the caller owns: the control
// record below lives wherever the caller keeps it (shared sections among
// others), the store holds slot count × record size bytes and is passed to
// every call. One slot always stays empty, so a FIFO holds at most
// slot count - 1 records (a FIFO of fewer than 2 slots holds none). The record
// size is fixed by the first put. Results are board statuses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/QelHwStatus.h"

struct RecordFifo {
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
  std::uint32_t slotCount;
  std::uint32_t overflowCount;
  std::uint32_t closed;        // 1: every operation but FifoInit is refused
  std::uint32_t closedByPeer;  // the same, set from the other side
  std::uint32_t recordSize;    // 0 until the first put
};
static_assert(sizeof(RecordFifo) == 28);
static_assert(offsetof(RecordFifo, slotCount) == 8);
static_assert(offsetof(RecordFifo, closed) == 16);
static_assert(offsetof(RecordFifo, recordSize) == 24);

// 0, or one of these.
inline constexpr QelHwStatus kFifoNullPointer = QELHW_ERROR_NULL_PTR;             // -2
inline constexpr QelHwStatus kFifoSizeMismatch = QELHW_ERROR_ARG_INVALID;         // -3
inline constexpr QelHwStatus kFifoNotSupported = QELHW_ERROR_NOT_IMPLEMENTED;     // -10
inline constexpr QelHwStatus kFifoClosed = QELHW_ERROR_PARAMETER_INVALID;         // -13
inline constexpr QelHwStatus kFifoEmpty = -5001;
inline constexpr QelHwStatus kFifoFull = -5002;
inline constexpr QelHwStatus kFifoDestinationTooSmall = -4011;

// Slot count set, close flags and record size cleared, then reset. The second
// argument is not used.
QelHwStatus FifoInit(RecordFifo* fifo, std::uint32_t unused, std::uint32_t slots);
// Write, read and overflow count to 0.
QelHwStatus FifoReset(RecordFifo* fifo);
QelHwStatus FifoPut(RecordFifo* fifo, void* store, const void* record, std::uint32_t size);
QelHwStatus FifoGet(RecordFifo* fifo, const void* store, void* destination, std::uint32_t size);
QelHwStatus FifoPeek(RecordFifo* fifo, const void* store, void* destination, std::uint32_t size);
QelHwStatus FifoCount(RecordFifo* fifo, std::uint32_t* count);
QelHwStatus FifoGetRecordSize(RecordFifo* fifo, std::uint32_t* size);
QelHwStatus FifoCheck(const RecordFifo* fifo);
QelHwStatus FifoResize(RecordFifo* fifo, std::uint32_t slots);
