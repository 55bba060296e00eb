// The transfer module's events, the per-process worker thread that drains
// the board's transfer messages, and the slot registry through which it
// finds a message's transfer. The worker lives from the first connected slot
// of the process to the last disconnect; connect and disconnect count their
// references to it.
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatTransfer.h"
#include "platform/win/objects.h"
#include "platform/win/process.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"

namespace {

constexpr std::uint32_t kStartWaitMs = 5000;
constexpr std::uint32_t kTransferMessageType = 2;
constexpr std::uint32_t kEndOfTransfer = 0x80000000u;

struct Worker {
  std::mutex guard;  // the reference count and the thread, taken alone
  std::uint32_t references = 0;
  plat::Handle startEvent = plat::kNullHandle;
  plat::Handle stopEvent = plat::kNullHandle;
  plat::Handle exitedEvent = plat::kNullHandle;
  std::thread thread;
};

Worker g_worker;
std::array<std::array<std::atomic<XferRecord*>, kXferBoardSlots>, 16> g_registry{};

// Words of a transfer message.
struct Message {
  std::uint32_t words[10];
  std::uint32_t type() const { return words[9] & 0xF; }
  std::uint32_t board() const { return (words[9] >> 4) & 0xF; }
  std::uint32_t slot() const { return (words[0] >> 17) & 0x7; }
  std::uint32_t timeStamp() const { return words[4]; }
  std::uint32_t eventWord() const { return words[8]; }
};

void HandleMessage(const Message& message) {
  if (message.type() != kTransferMessageType || message.slot() >= kXferBoardSlots) return;
  XferRecord* record = XferSlotRegistryGet(message.board(), message.slot());
  if (record == nullptr || record->object == nullptr) return;
  std::lock_guard lock(record->object->lock);
  if (XferSlotRegistryGet(message.board(), message.slot()) != record) return;
  XferBoardSlot& slot = record->board.slots[message.slot()];
  slot.lastTimeStamp = message.timeStamp();
  if ((message.eventWord() & kEndOfTransfer) != 0 && slot.endEvent != plat::kNullHandle)
    plat::set_event(slot.endEvent);
}

void Drain() {
  Message message{};
  while (Yat_Transfer_GetMessage(0, reinterpret_cast<std::uint8_t*>(message.words), sizeof message.words) ==
         QELHW_OK) {
    HandleMessage(message);
    std::this_thread::yield();
  }
}

void WorkerThread(plat::Handle start, plat::Handle stop, plat::Handle messages, plat::Handle exited) {
  plat::set_thread_priority(plat::kThreadPriorityTimeCritical);
  Yat_Transfer_ClearMessageQueue(0);
  plat::set_event(start);
  const plat::Handle objects[2] = {stop, messages};
  for (;;) {
    const std::uint32_t result = plat::wait_for_objects(objects, false, plat::kInfinite);
    if (result != plat::kWaitObject0 + 1) break;
    Drain();
  }
  plat::set_event(exited);
}

// Stops the thread; the guard is held.
bool StopThreadLocked() {
  if (!plat::set_event(g_worker.stopEvent)) return false;
  if (g_worker.thread.joinable()) {
    if (plat::wait_for_object(g_worker.exitedEvent, kStartWaitMs) == plat::kWaitObject0) g_worker.thread.join();
    else g_worker.thread.detach();
  }
  return true;
}

void CloseEvent(plat::Handle* event) {
  if (*event != plat::kNullHandle) plat::close_handle(*event);
  *event = plat::kNullHandle;
}

}  // namespace

QelStatus XferYatInit(std::uint32_t) {
  std::lock_guard lock(g_worker.guard);
  if (g_worker.startEvent == plat::kNullHandle) g_worker.startEvent = plat::create_event(nullptr, false, false, nullptr);
  if (g_worker.stopEvent == plat::kNullHandle) g_worker.stopEvent = plat::create_event(nullptr, false, false, nullptr);
  if (g_worker.exitedEvent == plat::kNullHandle)
    g_worker.exitedEvent = plat::create_event(nullptr, true, false, nullptr);
  const bool ready = g_worker.startEvent != plat::kNullHandle && g_worker.stopEvent != plat::kNullHandle &&
                     g_worker.exitedEvent != plat::kNullHandle;
  return ready ? QEL_OK : kXferResource;
}

QelStatus XferYatFree() {
  std::lock_guard lock(g_worker.guard);
  // Transfers still connected at the module's end keep no thread alive.
  if (g_worker.references > 0) StopThreadLocked();
  g_worker.references = 0;
  CloseEvent(&g_worker.startEvent);
  CloseEvent(&g_worker.stopEvent);
  CloseEvent(&g_worker.exitedEvent);
  return QEL_OK;
}

std::uint32_t XferStartWorker(XferObject* xfer) {
  std::lock_guard lock(g_worker.guard);
  if (g_worker.references++ > 0) return 1;
  std::uint64_t messages = 0;
  bool started = g_worker.startEvent != plat::kNullHandle &&
                 Yat_Transfer_GetEventHandle(XferYatBoardOf(xfer), &messages) == QELHW_OK;
  if (started) {
    plat::reset_event(g_worker.exitedEvent);
    g_worker.thread = std::thread(WorkerThread, g_worker.startEvent, g_worker.stopEvent,
                                  static_cast<plat::Handle>(messages), g_worker.exitedEvent);
    started = plat::wait_for_object(g_worker.startEvent, kStartWaitMs) == plat::kWaitObject0;
    if (!started) {
      plat::set_event(g_worker.stopEvent);
      g_worker.thread.detach();
    }
  }
  if (!started) --g_worker.references;
  return started ? 1 : 0;
}

std::uint32_t XferStopWorker() {
  std::lock_guard lock(g_worker.guard);
  if (g_worker.references == 0) return 1;
  if (--g_worker.references > 0) return 1;
  return StopThreadLocked() ? 1 : 0;
}

std::uint32_t XferWorkerReferences() {
  std::lock_guard lock(g_worker.guard);
  return g_worker.references;
}

void XferSlotRegistrySet(std::uint32_t board, std::uint32_t slot, XferRecord* record) {
  if (board < g_registry.size() && slot < kXferBoardSlots) g_registry[board][slot].store(record);
}

XferRecord* XferSlotRegistryGet(std::uint32_t board, std::uint32_t slot) {
  return board < g_registry.size() && slot < kXferBoardSlots ? g_registry[board][slot].load() : nullptr;
}
