// The transfer module's events, the per-process worker thread that drains
// the transfer messages of every board, and the slot registry through which
// it finds a message's transfer and pins it while it handles the message. The worker lives from the first connected slot
// of the process to the last disconnect; connect and disconnect count their
// references to it.
#include <array>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatTransfer.h"
#include "platform/win/objects.h"
#include "platform/win/process.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferWorkerProbe.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatRun.h"

// Weak: null unless a measuring program defines it (XferWorkerProbe.h).
extern "C" __attribute__((weak)) void XferWorkerMessageTaken(const std::uint32_t* words);

namespace {

constexpr std::uint32_t kStartWaitMs = 5000;

struct Worker {
  std::mutex guard;  // the reference count and the thread, taken alone
  std::uint32_t references = 0;
  plat::Handle startEvent = plat::kNullHandle;
  plat::Handle stopEvent = plat::kNullHandle;
  plat::Handle exitedEvent = plat::kNullHandle;
  std::thread thread;
};

Worker g_worker;

// The slot registry: per (board, slot) the transfer connected there and the
// worker's pins on it. A place is cleared only once no pin is left, so the
// worker never touches a transfer that a disconnect or a release is tearing
// down.
struct RegistryPlace {
  XferRecord* record = nullptr;
  std::uint32_t pins = 0;
};

struct Registry {
  std::mutex guard;  // taken alone
  std::condition_variable unpinned;
  std::array<std::array<RegistryPlace, kXferBoardSlots>, 16> places{};
};

Registry g_registry;

bool InRange(std::uint32_t board, std::uint32_t slot) { return board < 16 && slot < kXferBoardSlots; }

XferRecord* Pin(std::uint32_t board, std::uint32_t slot) {
  std::lock_guard lock(g_registry.guard);
  RegistryPlace& place = g_registry.places[board][slot];
  if (place.record == nullptr) return nullptr;
  ++place.pins;
  return place.record;
}

void Unpin(std::uint32_t board, std::uint32_t slot) {
  std::lock_guard lock(g_registry.guard);
  --g_registry.places[board][slot].pins;
  g_registry.unpinned.notify_all();
}

// Takes the pinned transfer's lock, unless its place is cleared meanwhile
// (a disconnect that holds the lock clears the place before it waits for
// the pins to go).
bool LockPinned(std::uint32_t board, std::uint32_t slot, XferRecord* record) {
  constexpr auto kRetry = std::chrono::microseconds(100);
  for (;;) {
    if (record->object->lock.try_lock()) {
      if (XferSlotRegistryGet(board, slot) == record) return true;
      record->object->lock.unlock();
      return false;
    }
    if (XferSlotRegistryGet(board, slot) != record) return false;
    std::this_thread::sleep_for(kRetry);
  }
}

void HandleMessage(const XferMessage& message) {
  const std::uint32_t board = message.Board(), slot = message.Slot();
  if (message.Type() != kXferMessageTransfer || !InRange(board, slot)) return;
  XferRecord* record = Pin(board, slot);
  if (record == nullptr) return;
  XferDelivery delivery;
  if (LockPinned(board, slot, record)) {
    XferYatHandleMessage(record->object, slot, message, &delivery);
    record->object->lock.unlock();
  }
  XferYatDeliver(delivery);
  Unpin(board, slot);
}

// The process's transfer queue holds the messages of every board.
void Drain() {
  XferMessage message{};
  while (Yat_Transfer_GetMessage(0, reinterpret_cast<std::uint8_t*>(message.words.data()), sizeof message.words) ==
         QELHW_OK) {
    if (XferWorkerMessageTaken != nullptr) XferWorkerMessageTaken(message.words.data());
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

// A process may end (return from main, exit()) with transfers still
// connected: the worker must then neither be destroyed joinable
// (std::terminate) nor run on into destroyed statics. This handler is
// registered when the thread first starts, so it runs before the destructors
// of every static constructed earlier: this module's, and those of the board
// library and the platform that the first connect set up. When a callback on
// the worker itself ends the process, the thread cannot be joined and is let
// go. The board transfers left connected are reclaimed by the next process,
// as those of a killed one.
void StopWorkerAtExit() {
  std::lock_guard lock(g_worker.guard);
  if (!g_worker.thread.joinable()) return;
  if (g_worker.thread.get_id() == std::this_thread::get_id()) {
    g_worker.thread.detach();
    return;
  }
  StopThreadLocked();
  g_worker.references = 0;
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
    static const bool kStoppedAtExit = std::atexit(StopWorkerAtExit) == 0;
    started = kStoppedAtExit;
  }
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
  if (!InRange(board, slot)) return;
  std::lock_guard lock(g_registry.guard);
  g_registry.places[board][slot].record = record;
}

XferRecord* XferSlotRegistryGet(std::uint32_t board, std::uint32_t slot) {
  if (!InRange(board, slot)) return nullptr;
  std::lock_guard lock(g_registry.guard);
  return g_registry.places[board][slot].record;
}

void XferSlotRegistryClear(std::uint32_t board, std::uint32_t slot, const XferRecord* record) {
  if (!InRange(board, slot)) return;
  std::unique_lock lock(g_registry.guard);
  RegistryPlace& place = g_registry.places[board][slot];
  if (place.record != record) return;
  place.record = nullptr;
  g_registry.unpinned.wait(lock, [&place] { return place.pins == 0; });
}
