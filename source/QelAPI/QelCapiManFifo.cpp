// The callback FIFO: callbacks held for later delivery, one FIFO per process.
// The queue side and the array's life run under the API lock; one thread at
// a time executes, kept so by the busy flag. Indexes, flag and counters are
// atomic, so a reader outside the lock sees whole values.
#include <atomic>
#include <memory>
#include <new>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelCapiExchange.h"
#include "source/QelAPI/QelCapiManSend.h"

namespace {

constexpr std::uint32_t kMinimumSlots = 2;
constexpr std::uint32_t kMaximumSlots = 65535;

struct Record {
  QelHandle server;
  std::uint64_t callback;
  std::uint64_t context;
  std::uint32_t eventType;
  std::uint32_t eventCount;
  std::uint32_t callbackId;
};

struct Fifo {
  std::unique_ptr<Record[]> records;
  std::atomic<std::uint32_t> slots{0};
  std::atomic<std::uint16_t> write{0};
  std::atomic<std::uint16_t> read{0};
  std::atomic<bool> busy{false};
  std::atomic<std::uint32_t> overflows{0};
  std::atomic<std::uint32_t> overflowsUnreported{0};
  std::atomic<std::uint32_t> withoutFifo{0};
  std::atomic<std::uint32_t> withoutFifoUnreported{0};
  std::atomic<std::uint32_t> queued{0};
  std::atomic<std::uint32_t> executed{0};
};

Fifo& TheFifo() {
  static Fifo fifo;
  return fifo;
}

std::uint16_t Next(std::uint16_t index, std::uint32_t slots) {
  return static_cast<std::uint16_t>(index + 1u >= slots ? 0 : index + 1u);
}

void Count(std::atomic<std::uint32_t>& total, std::atomic<std::uint32_t>& unreported) {
  total.fetch_add(1);
  unreported.fetch_add(1);
}

// Takes the oldest record; false when there is none.
bool TakeOldest(Fifo& fifo, Record* record) {
  if (!ApiLock()) return false;
  const std::uint32_t slots = fifo.slots.load();
  const std::uint16_t read = fifo.read.load();
  const bool held = slots != 0 && read != fifo.write.load();
  if (held) {
    *record = fifo.records[read];
    fifo.read.store(Next(read, slots));
  }
  ApiUnlock();
  return held;
}

void ReportDrops(Fifo& fifo) {
  if (fifo.overflowsUnreported.exchange(0) != 0)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QelManExecuteCallback => Fifo overflow (%d)\n",
              static_cast<int>(fifo.overflows.load()));
  if (fifo.withoutFifoUnreported.exchange(0) != 0)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QelManExecuteCallback => Unexpected callback (%d)",
              static_cast<int>(fifo.withoutFifo.load()));
}

}  // namespace

QelStatus QelManCreateCallbackFifo(std::uint32_t slots) {
  if (slots < kMinimumSlots || slots > kMaximumSlots) return CAPIMAN_REFUSE(kQelManBadFifoSize);
  std::unique_ptr<Record[]> records(new (std::nothrow) Record[slots]());
  if (records == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QelManCreateCallbackFifo => No memory for %u records", slots);
    return kQelModuleManager | kQelKindOutOfMemory;
  }
  if (!ApiLock()) return kQelCapiLockNotHad;
  Fifo& fifo = TheFifo();
  fifo.records = std::move(records);
  fifo.slots.store(slots);
  fifo.write.store(0);
  fifo.read.store(0);
  ApiUnlock();
  return QEL_OK;
}

QelStatus QelManDestroyCallbackFifo() {
  if (!ApiLock()) return kQelCapiLockNotHad;
  Fifo& fifo = TheFifo();
  fifo.slots.store(0);
  fifo.write.store(0);
  fifo.read.store(0);
  fifo.records.reset();
  ApiUnlock();
  return QEL_OK;
}

QelStatus QelManQueueCallback(const QelHandle* server, std::uint32_t callbackId, std::uint64_t callback,
                              std::uint64_t context, std::uint32_t eventType, std::uint32_t eventCount) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  Fifo& fifo = TheFifo();
  // Without the lock the callback is dropped like one that finds no room.
  if (!ApiLock()) {
    Count(fifo.overflows, fifo.overflowsUnreported);
    return QEL_OK;
  }
  const std::uint32_t slots = fifo.slots.load();
  const std::uint16_t write = fifo.write.load();
  if (slots == 0) {
    Count(fifo.withoutFifo, fifo.withoutFifoUnreported);
  } else if (Next(write, slots) == fifo.read.load()) {
    Count(fifo.overflows, fifo.overflowsUnreported);
  } else {
    fifo.records[write] = Record{*server, callback, context, eventType, eventCount, callbackId};
    fifo.queued.fetch_add(1);
    fifo.write.store(Next(write, slots));
  }
  ApiUnlock();
  return QEL_OK;
}

QelStatus QelManExecuteCallback() {
  Fifo& fifo = TheFifo();
  QelStatus status = QEL_OK;
  bool idle = false;
  if (fifo.busy.compare_exchange_strong(idle, true)) {
    Record record{};
    if (TakeOldest(fifo, &record)) {
      status = QelManSendCallback(&record.server, record.callbackId, record.callback, record.context,
                                  record.eventType, record.eventCount);
      // A lost lock drops everything still queued.
      if (status == kQelCapiLockNotHad) fifo.read.store(fifo.write.load());
      fifo.executed.fetch_add(1);
    }
    fifo.busy.store(false);
  }
  ReportDrops(fifo);
  return status;
}

QelManFifoCounters QelManGetFifoCounters() {
  const Fifo& fifo = TheFifo();
  return {fifo.overflows.load(),  fifo.overflowsUnreported.load(), fifo.withoutFifo.load(),
          fifo.withoutFifoUnreported.load(), fifo.queued.load(), fifo.executed.load()};
}
