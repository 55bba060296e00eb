// The transmit path: one writer thread per connected port moves the bytes the
// manager leaves in the shared transmit ring into the UART's transmit FIFO,
// waiting in FIFO-sized steps computed from the baud rate while it is full.
#include <atomic>

#include "driver/kernel/Serial.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kBitsPerCharacter = 11;
constexpr std::uint32_t kDefaultBaud = 9600;
constexpr std::int64_t kUnitsPerSecond = 10000000;
constexpr std::int64_t kLongestBusyWait = 1000;

bool StopRequested(YatSerialPortContext* context) {
  return std::atomic_ref<std::uint32_t>(context->writerStop).load() != 0;
}

std::uint32_t CurrentBaud(YatSerialPortContext* context) {
  const std::uint32_t baud = context->sharedMemory ? *SharedWord(context, kSharedWordBaudRate) : 0;
  return baud != 0 ? baud : kDefaultBaud;
}

// The time `characters` take on the line, in 100-nanosecond units.
std::int64_t CharacterTime(YatSerialPortContext* context, std::uint32_t characters) {
  return static_cast<std::int64_t>(characters) * kBitsPerCharacter * kUnitsPerSecond / CurrentBaud(context);
}

void SignalRoom(YatSerialPortContext* context) {
  QelSerialRing* ring = SharedTransmitRing(context);
  if (ring == nullptr || ring->size == 0) return;
  if (ring_free(ring->size, RingLoad(ring->writeIndex), RingLoad(ring->readIndex)) >= ring->size / 2)
    set_event(&context->portEvent);
}

void WaitForRoom(YatSerialPortContext* context) {
  NtStatus status = plat::kStatusSuccess;
  if (context->operations.waitWriteFifo != nullptr) {
    status = context->operations.waitWriteFifo(context->boardContext, context->portIndex);
  } else {
    const std::uint32_t depth = context->fifoDepth != 0 ? context->fifoDepth : kYatSerialFifoDepth;
    const std::int64_t units = static_cast<std::int64_t>(depth) * kBitsPerCharacter / 2 * kUnitsPerSecond /
                               CurrentBaud(context);
    if (units > kLongestBusyWait || depth > 1) delay_execution(-units);
    else stall_execution(static_cast<std::uint32_t>(units / 10));
  }
  if (!plat::nt_success(status)) STAVRO_LOG(kLogNotice, "%s:  Wait half-empty failed!");
}

void SendPending(YatSerialPortContext* context) {
  // A pass ends when the FIFO fills or the ring empties: go on until nothing is pending.
  for (;;) {
    const NtStatus status = QelSerialWriteToPort(context);
    if (StopRequested(context) || (status != plat::kStatusSuccess && status != kSerialFifoFull)) break;
    if (status == kSerialFifoFull) {
      SignalRoom(context);
      WaitForRoom(context);
    }
  }
  SignalRoom(context);
}

void WriterThread(void* argument) {
  auto* context = static_cast<YatSerialPortContext*>(argument);
  for (;;) {
    wait_for_object(&context->workEvent, nullptr);
    wait_for_object(&context->writerMutex, nullptr);
    clear_event(&context->workEvent);
    const bool stop = StopRequested(context);
    release_mutex(&context->writerMutex);
    if (context->sharedMemory != nullptr) SendPending(context);
    if (stop) {
      const std::uint32_t depth = context->fifoDepth != 0 ? context->fifoDepth : kYatSerialFifoDepth;
      delay_execution(-CharacterTime(context, depth));
      break;
    }
  }
}

}  // namespace

NtStatus QelSerialWriteToPort(YatSerialPortContext* context) {
  QelSerialRing* ring = SharedTransmitRing(context);
  const YatSerialOperations& ops = context->operations;
  if (ring == nullptr || ring->size <= 1 || ops.writePort == nullptr || ops.getWriteFifoStatus == nullptr)
    return plat::kStatusInvalidParameter;
  const std::uint32_t write = RingLoad(ring->writeIndex);
  std::uint32_t read = RingLoad(ring->readIndex);
  if (write >= ring->size || read >= ring->size) return plat::kStatusInvalidParameter;
  if (ring_pending(ring->size, write, read) == 0) return kSerialNothingPending;
  if (!ops.getWriteFifoStatus(context->boardContext, context->portIndex)) return kSerialFifoFull;
  const std::uint8_t* data = ring_data(ring);
  while (ring_pending(ring->size, write, read) != 0 && ops.getWriteFifoStatus(context->boardContext, context->portIndex)) {
    const std::int32_t status = ops.writePort(context->boardContext, context->portIndex, data[read]);
    read = (read + 1) % ring->size;
    // A port that cannot send drops what waits, so that the manager is never stuck on a full ring.
    RingStore(ring->readIndex, status == 0 ? read : write);
    if (status != 0) return status;
  }
  if (ops.writePortDone != nullptr) ops.writePortDone(context->boardContext, context->portIndex);
  return plat::kStatusSuccess;
}

NtStatus YatStartWriterThread(YatSerialPortContext* context) {
  if (!context->eventsInitialised) {
    initialize_event(&context->workEvent, EventType::kNotification, false);
    initialize_mutex(&context->writerMutex);
    context->eventsInitialised = 1;
  }
  if (context->writerThread != nullptr) return plat::kStatusSuccess;
  std::atomic_ref<std::uint32_t>(context->writerStop).store(0);
  NtStatus status = create_system_thread(&context->writerThread, WriterThread, context);
  if (!plat::nt_success(status)) {
    context->writerThread = nullptr;
    return status;
  }
  set_thread_priority(context->writerThread, kLowRealtimePriority);
  return status;
}

void YatStopWriterThread(YatSerialPortContext* context) {
  if (context->writerThread == nullptr) return;
  wait_for_object(&context->writerMutex, nullptr);
  std::atomic_ref<std::uint32_t>(context->writerStop).store(1);
  set_event(&context->workEvent);
  release_mutex(&context->writerMutex);
  wait_for_object(context->writerThread, nullptr);
  dereference_thread(context->writerThread);
  context->writerThread = nullptr;
}
