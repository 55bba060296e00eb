// The board event thread: one per process, started with the first device the
// process opens and ended after as many stops as starts. It drains the
// driver's messages of type 0 (a connector's acquisition events) and hands
// each to the transfer-connected device of that connector.
#include <chrono>
#include <mutex>
#include <thread>

#include "driver/user/Pardow.h"
#include "platform/win/process.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/YatBoardEvents.h"

namespace {

constexpr std::uint32_t kEventMessageType = 0;
constexpr std::uint32_t kMessageWords = 5;
constexpr std::uint32_t kStartWaitMs = 5000;
constexpr QelStatus kNotStarted = 98;
constexpr QelStatus kNoResources = 121;
constexpr QelStatus kStopNotSignalled = 128;

struct BoardEventThread {
  std::mutex guard;
  std::uint32_t board = 0;
  std::uint32_t starts = 0;
  plat::Handle started = plat::kNullHandle;
  plat::Handle stop = plat::kNullHandle;
  std::thread thread;
};

BoardEventThread& State() {
  static auto* state = new BoardEventThread;
  return *state;
}

// The first device of the board with a context, the transfer-connected flag
// and the connector's bit.
void BoardEventDispatch(const std::uint32_t* message) {
  const std::uint32_t where = message[4] & 0xFFu;
  const std::uint32_t board = where >> 4, connector = where & 0xFu;
  for (std::uint32_t device = 0; device < kAcqSlotsPerBoard; ++device) {
    if (AcqGetHandle(board, device) == nullptr) return;
    const AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
    if (record->xferConnected == 0 || (record->resourceMask & (1u << connector)) == 0) continue;
    AcqModEventDispatch(board, device, ConvEventMaskFromHw(message[0]));
    return;
  }
}

void Body(std::uint32_t board, plat::Handle started, plat::Handle stop, plat::Handle messages) {
  plat::set_thread_priority(15);
  Yat_Event_ClearMessageQueue(board, kEventMessageType);
  plat::set_event(started);
  const plat::Handle objects[2] = {messages, stop};
  for (;;) {
    const std::uint32_t wait = plat::wait_for_objects(objects, false, plat::kInfinite);
    if (wait != plat::kWaitObject0) return;
    std::uint32_t message[kMessageWords] = {};
    while (Yat_Event_GetMessage(board, kEventMessageType, message, sizeof message) == QELHW_OK) {
      BoardEventDispatch(message);
      std::this_thread::yield();
    }
  }
}

plat::Handle MessageEvent(std::uint32_t board) {
  std::uint64_t event = 0;
  if (Yat_Event_GetHandle(board, kEventMessageType, &event) == QELHW_OK && event != 0) return event;
  if (!Yat_Event_RegisterMsg(board, kEventMessageType)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Event_RegisterMsg Failed: 0x%x", kAcqBoardName, kNoResources);
    return plat::kNullHandle;
  }
  event = 0;
  if (Yat_Event_GetHandle(board, kEventMessageType, &event) != QELHW_OK || event == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Event_GetHandle Failed: 0x%x", kAcqBoardName, kNoResources);
    return plat::kNullHandle;
  }
  return event;
}

void Close(BoardEventThread& t) {
  for (plat::Handle* h : {&t.started, &t.stop}) {
    if (*h != plat::kNullHandle) plat::close_handle(*h);
    *h = plat::kNullHandle;
  }
}

QelStatus StopLocked(BoardEventThread& t) {
  if (!plat::set_event(t.stop)) return kStopNotSignalled;
  if (t.thread.joinable()) t.thread.join();
  Close(t);
  Yat_Event_UnregisterMsg(0, kEventMessageType);
  return 0;
}

}  // namespace

QelStatus StartBoardEventThread(std::uint32_t board) {
  BoardEventThread& t = State();
  std::lock_guard guard(t.guard);
  if (t.starts++ != 0) return 0;
  t.board = board;
  t.started = plat::create_event(nullptr, false, false, nullptr);
  t.stop = plat::create_event(nullptr, false, false, nullptr);
  const plat::Handle messages =
      t.started != plat::kNullHandle && t.stop != plat::kNullHandle ? MessageEvent(board) : plat::kNullHandle;
  if (messages == plat::kNullHandle) {
    Close(t);
    t.starts = 0;
    return kNoResources;
  }
  t.thread = std::thread(Body, board, t.started, t.stop, messages);
  if (plat::wait_for_object(t.started, kStartWaitMs) != plat::kWaitObject0) {
    StopLocked(t);
    t.starts = 0;
    return kNotStarted;
  }
  return 0;
}

QelStatus StopBoardEventThread(std::uint32_t) {
  BoardEventThread& t = State();
  std::lock_guard guard(t.guard);
  if (t.starts == 0 || --t.starts != 0) return 0;
  return StopLocked(t);
}

std::uint32_t BoardEventThreadStarts() {
  std::lock_guard guard(State().guard);
  return State().starts;
}
