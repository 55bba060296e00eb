// The monitor's event thread: it waits on the FIFO event of every device this
// process monitors and runs the monitor's callbacks, in this process, for
// each record it takes from the device's two FIFOs.
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win/process.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiCallback.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqOwnerTokens.h"
#include "source/QelAcq/acqmonitor.h"
#include "source/QelAcq/acqmonitor_threads.h"
#include "source/firmware/ManControl.h"

QelStatus AcqMonitorStartMessageThread();
QelStatus AcqMonitorStopMessageThread();

namespace {

constexpr std::uint32_t kRounds = 1000;
constexpr std::uint32_t kAcknowledgeWaitMs = 2000;
constexpr std::uint32_t kFixedObjects = 2;

struct EventThread {
  std::mutex guard;
  plat::Handle stop = plat::kNullHandle;
  plat::Handle refresh = plat::kNullHandle;
  plat::Handle acknowledged = plat::kNullHandle;
  std::thread thread;
  std::uint32_t starts = 0;
};

EventThread& Thread() {
  static auto* thread = new EventThread;
  return *thread;
}

struct Watched {
  std::uint32_t board;
  std::uint32_t device;
};

// The devices this process monitors (at most what one wait can take).
void Rebuild(std::vector<plat::Handle>* objects, std::vector<Watched>* watched) {
  objects->resize(kFixedObjects);
  watched->clear();
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t device = 0; device < kAcqSlotsPerBoard; ++device) {
      if (objects->size() >= plat::kMaximumWaitObjects) return;
      const AcqOwnerTag& owner = AcqMonitorGetShared()->owners[board * kAcqSlotsPerBoard + device];
      const plat::Handle event = AcqMonitorFifoEvent(board, device);
      if (!AcqOwnerTagIsThisProcess(owner) || event == plat::kNullHandle) continue;
      plat::reset_event(event);
      objects->push_back(event);
      watched->push_back({board, device});
    }
}

void Deliver(const AcqMonitorRecord& record, const AcqMonitorEvent& event, std::uint64_t function,
             std::uint64_t context, const std::vector<std::uint32_t>& block) {
  QelEventDescriptor descriptor{};
  descriptor.word0 = event.words[0];
  descriptor.flag = event.events;
  std::memcpy(&descriptor.value1, &event.quads[0], sizeof descriptor.value1);
  std::memcpy(&descriptor.value2, &event.quads[2], sizeof descriptor.value2);
  descriptor.words[8] = static_cast<std::uint32_t>(4 * block.size());
  QelManCallServerFunctionEx(&record.server, 0, function, context, event.events, &descriptor, nullptr, block.data());
  std::this_thread::yield();
}

// One record of each FIFO per round; false when both were empty.
bool Round(std::uint32_t board, std::uint32_t device) {
  const AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  AcqMonitorEvent event{};
  bool any = false;
  if (AcqMonitorFifoGet(board, device, 0, &event)) {
    any = true;
    if (event.kind != 0)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, unkown acq Type, evnIdx=%d,brd=%d,acq=%d,evnt=x%x",
                kAcqModuleLabel, event.kind, board, device, event.events);
    else if (record->acqCallback != 0 && (record->acqMask & event.events) != 0)
      Deliver(*record, event, record->acqCallback, record->acqContext, {4});
  }
  if (AcqMonitorFifoGet(board, device, 1, &event)) {
    any = true;
    if (event.kind != 1)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, unkown xfer Type, evnIdx=%d,brd=%d,acq=%d,evnt=x%x",
                kAcqModuleLabel, event.kind, board, device, event.events);
    else if (record->xferCallback != 0 && ((record->xferMask & event.events) != 0 || event.words[1] != 0))
      Deliver(*record, event, record->xferCallback, record->xferContext,
              {16, event.words[1], event.words[2], event.words[3]});
  }
  return any;
}

void EventThreadBody(plat::Handle stop, plat::Handle refresh, plat::Handle acknowledged) {
  plat::set_thread_priority(15);
  std::vector<plat::Handle> objects{stop, refresh};
  std::vector<Watched> watched;
  for (;;) {
    const std::uint32_t wait = plat::wait_for_objects(objects, false, plat::kInfinite);
    if (wait == plat::kWaitObject0 || wait >= objects.size()) return;
    if (wait == plat::kWaitObject0 + 1) {
      Rebuild(&objects, &watched);
      plat::set_event(acknowledged);
      continue;
    }
    const Watched& device = watched[wait - kFixedObjects];
    for (std::uint32_t round = 0; round < kRounds && Round(device.board, device.device); ++round) {
    }
  }
}

void CloseEvents(EventThread& t) {
  for (plat::Handle* h : {&t.stop, &t.refresh, &t.acknowledged}) {
    if (*h != plat::kNullHandle) plat::close_handle(*h);
    *h = plat::kNullHandle;
  }
}

QelStatus StartEventThread() {
  EventThread& t = Thread();
  std::lock_guard guard(t.guard);
  if (t.starts++ != 0) return 0;
  t.stop = plat::create_event(nullptr, false, false, nullptr);
  t.refresh = plat::create_event(nullptr, false, false, nullptr);
  t.acknowledged = plat::create_event(nullptr, false, false, nullptr);
  if (t.stop == plat::kNullHandle || t.refresh == plat::kNullHandle || t.acknowledged == plat::kNullHandle) {
    CloseEvents(t);
    t.starts = 0;
    return kAcqMonitorNoResource;
  }
  t.thread = std::thread(EventThreadBody, t.stop, t.refresh, t.acknowledged);
  return 0;
}

QelStatus StopEventThread() {
  EventThread& t = Thread();
  std::lock_guard guard(t.guard);
  if (t.starts == 0 || --t.starts != 0) return 0;
  if (!plat::set_event(t.stop)) return kAcqMonitorAcquirerDied;
  if (t.thread.joinable()) t.thread.join();
  CloseEvents(t);
  return 0;
}

}  // namespace

void AcqMonitorRefreshEventThread(bool wait) {
  EventThread& t = Thread();
  plat::Handle refresh = plat::kNullHandle, acknowledged = plat::kNullHandle;
  {
    std::lock_guard guard(t.guard);
    refresh = t.refresh;
    acknowledged = t.acknowledged;
  }
  if (refresh == plat::kNullHandle) return;
  if (wait) plat::reset_event(acknowledged);
  plat::set_event(refresh);
  if (!wait) return;
  const std::uint8_t depth = ApiUnlockThread();
  if (plat::wait_for_object(acknowledged, kAcknowledgeWaitMs) != plat::kWaitObject0)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,  Could not change monitor state", kAcqModuleLabel);
  ApiRelockThread(depth);
}

namespace {

// Manager control names a monitor handle by its address.
QelStatus ClearFifoOfHandleAt(std::uint64_t monitor, std::uint32_t selector) {
  return AcqMonitorClearFifo(AcqMonitorHandleAt(monitor), selector);
}

constexpr ManMonitorEntries kManagerControlEntries{AcqMonitorCommand, ClearFifoOfHandleAt};

}  // namespace

QelStatus AcqMonitorInit() {
  QelStatus status = AcqMonitorInitHandles();
  if (status == 0) status = AcqMonitorStartMessageThread();
  if (status == 0) status = StartEventThread();
  if (status == 0) ManControlBindMonitor(&kManagerControlEntries);
  return status;
}

QelStatus AcqMonitorFree() {
  ManControlBindMonitor(nullptr);
  AcqMonitorFreeHandles();
  const QelStatus status = StopEventThread();
  if (status == 0) AcqMonitorStopMessageThread();
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t device = 0; device < kAcqSlotsPerBoard; ++device) AcqMonitorFreeFifoResourcesOf(board, device);
  return status;
}
