// The receive path after the interrupt routine: the board's receive thread
// moves bytes from the software FIFOs into the manager's receive rings and
// queues each port's DPC, which tells the manager through the port event.
// Bytes the ring cannot take yet stay in the software FIFO; only an overflow
// of the software FIFO itself is reported.
#include <atomic>

#include "driver/kernel/MutexHold.h"
#include "driver/kernel/Serial.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/irql.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kRegControl = 0x1220;
constexpr std::uint32_t kStatusTransmitBelowHalf = 1u << 21;
// While bytes wait for room in a ring, the thread looks again this often.
constexpr std::int64_t kRetryInterval = -100000;  // 10 ms

bool Connected(const YatSerialPortContext* context) {
  return context->registered && context->connected && context->sharedMemory != nullptr;
}

bool RingUsable(const QelSerialRing* ring) {
  return ring != nullptr && ring->size > 1 && RingLoad(ring->writeIndex) < ring->size &&
         RingLoad(ring->readIndex) < ring->size;
}

void QueuePortDpc(YatSerialPortContext* context) {
  if (!context->dpcReady) return;
  Irql old{};
  acquire_spin_lock(&context->dpcLock, &old);
  queue_dpc(&context->dpc, nullptr, nullptr);
  release_spin_lock(&context->dpcLock, old);
}

void ReportErrors(YatBoardExtension* board, YatSerialPortContext* context, YatSerialFifo* fifo) {
  const std::uint32_t flags = std::atomic_ref<std::uint32_t>(fifo->errorFlags).exchange(0);
  if (flags == 0) return;
  if (context->connected && context->sharedMemory != nullptr)
    std::atomic_ref<std::uint32_t>(*SharedWord(context, kSharedWordErrors)).fetch_or(flags);
  STAVRO_LOG(kLogError, "%s:  Yat_SerialRxDataReady => UART Fifo Overflow: Board(%d), Port(%d): (0x%x)",
             static_cast<int>(board->boardSlot), static_cast<int>(context->portIndex), flags);
}

// One pass over the board's ports; true when bytes still wait for a ring.
bool ServePorts(YatBoardExtension* board) {
  bool waiting = false;
  YatSerialPorts& ports = board->serial.ports;
  const std::uint32_t connectedUarts = std::atomic_ref<std::uint32_t>(board->serial.portsConnected).load();
  for (std::uint32_t port = 0; port < kYatSerialPorts; ++port) {
    YatSerialPortContext* context = &ports.block.ports[port];
    YatSerialFifo* fifo = &ports.fifos[port];
    ReportErrors(board, context, fifo);
    if (YatSerialFifoCount(fifo) != 0 && Connected(context)) {
      QelSerialReadFromPort(context);
      QueuePortDpc(context);
      if (YatSerialFifoCount(fifo) != 0) waiting = true;
    }
    std::uint32_t status = 0;
    if ((connectedUarts & (1u << port)) && Yat_SerialReadReg(board, port, kRegControl, &status, false) == QELHW_OK &&
        (status & kStatusTransmitBelowHalf))
      set_event(&ports.writeFifoEvents[port]);
  }
  return waiting;
}

void SerialThread(void* argument) {
  auto* board = static_cast<YatBoardExtension*>(argument);
  YatSerialPorts& ports = board->serial.ports;
  bool waiting = false;
  for (;;) {
    std::int64_t retry = kRetryInterval;
    wait_for_object(&board->serial.event, waiting ? &retry : nullptr);
    wait_for_object(&ports.threadMutex, nullptr);
    clear_event(&board->serial.event);
    const bool stop = ports.threadStop != 0;
    release_mutex(&ports.threadMutex);
    if (stop) break;
    waiting = ServePorts(board);
  }
}

}  // namespace

NtStatus QelSerialReadFromPort(YatSerialPortContext* context) {
  QelSerialRing* ring = SharedReceiveRing(context);
  if (!RingUsable(ring)) return plat::kStatusInvalidParameter;
  const YatSerialOperations& ops = context->operations;
  if (ops.getReadFifoStatus == nullptr || ops.readPort == nullptr) return plat::kStatusNotImplemented;
  std::uint8_t* data = ring_data(ring);
  std::uint32_t write = RingLoad(ring->writeIndex);
  while (ops.getReadFifoStatus(context->boardContext, context->portIndex) &&
         ring_free(ring->size, write, RingLoad(ring->readIndex)) > 0) {
    std::uint8_t byte = 0;
    if (ops.readPort(context->boardContext, context->portIndex, &byte) != 0) break;
    data[write] = byte;
    write = (write + 1) % ring->size;
    RingStore(ring->writeIndex, write);
    ++context->receivedCount;
  }
  return plat::kStatusSuccess;
}

NtStatus QelSerialEmptyFifo(YatSerialPortContext* context) {
  const YatSerialOperations& ops = context->operations;
  if (ops.getReadFifoStatus == nullptr || ops.readPort == nullptr) return plat::kStatusNotImplemented;
  for (std::uint32_t drained = 0;
       drained < context->drainLimit && ops.getReadFifoStatus(context->boardContext, context->portIndex); ++drained) {
    std::uint8_t byte = 0;
    if (ops.readPort(context->boardContext, context->portIndex, &byte) != 0) break;
  }
  if (context->sharedMemory != nullptr) {
    for (QelSerialRing* ring : {SharedReceiveRing(context), SharedTransmitRing(context)}) {
      if (ring == nullptr) continue;
      RingStore(ring->writeIndex, 0);
      RingStore(ring->readIndex, 0);
    }
  }
  return plat::kStatusSuccess;
}

void QelSerialDpc(Dpc*, void* argument, void*, void*) {
  auto* context = static_cast<YatSerialPortContext*>(argument);
  if (context->connected && context->sharedMemory != nullptr) {
    if (!context->readsInThread) QelSerialReadFromPort(context);
    set_event(&context->portEvent);
  } else {
    QelSerialEmptyFifo(context);
  }
}

// Start and stop run under the board's serial lifecycle mutex (taken by the
// creation and removal of the ports), so the thread pointer has one writer
// at a time and a stop never waits on a thread another stop has freed.
QelHwStatus YatStartSerialThread(YatBoardExtension* board) {
  YatMutexHold held(&board->serial.lifecycleMutex);
  if (board->serial.thread != nullptr) return QELHW_OK;
  YatSerialPorts& ports = board->serial.ports;
  for (KernelEvent& event : ports.writeFifoEvents) initialize_event(&event, EventType::kSynchronization, false);
  ports.threadStop = 0;
  KernelThread* thread = nullptr;
  if (!plat::nt_success(create_system_thread(&thread, SerialThread, board))) {
    STAVRO_LOG(kLogError, "%s: CreateSerialPorts => Board(%d): the serial thread cannot start",
               static_cast<int>(board->boardSlot));
    return QELHW_ERROR_SYSTEM_RESOURCE;
  }
  Irql old{};
  acquire_spin_lock(&board->serialLock, &old);
  board->serial.thread = thread;
  release_spin_lock(&board->serialLock, old);
  return QELHW_OK;
}

void YatStopSerialThread(YatBoardExtension* board) {
  YatMutexHold held(&board->serial.lifecycleMutex);
  KernelThread* thread = board->serial.thread;
  if (thread == nullptr) return;
  YatSerialPorts& ports = board->serial.ports;
  wait_for_object(&ports.threadMutex, nullptr);
  ports.threadStop = 1;
  set_event(&board->serial.event);
  release_mutex(&ports.threadMutex);
  wait_for_object(thread, nullptr);
  Irql old{};
  acquire_spin_lock(&board->serialLock, &old);
  board->serial.thread = nullptr;
  release_spin_lock(&board->serialLock, old);
  dereference_thread(thread);
}
