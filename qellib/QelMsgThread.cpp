#include "qellib/QelMsgThread.h"

#include <array>
#include <mutex>
#include <new>
#include <system_error>

#include "platform/win/process.h"
#include "qellib/QelLog.h"
#include "qellib/QelWinOptions.h"

namespace {

constexpr std::uint32_t kMaxMsgThreads = 1024;
constexpr std::uint32_t kCloseWaitMs = 2000;
// A thread that has not signalled its start after this long is taken as failed.
constexpr std::uint32_t kStartWaitMs = 20000;

// Threads take their priority under the pool lock, so a priority change and a
// pool start never interleave.
struct MsgThreadSettings {
  std::mutex lock;
  int priority = plat::kThreadPriorityNormal;
};

MsgThreadSettings& Settings() {
  static MsgThreadSettings settings;
  return settings;
}

void RunMsgThread(MsgThreadRecord* record) {
  {
    MsgThreadSettings& settings = Settings();
    std::lock_guard guard(settings.lock);
    plat::set_thread_priority(settings.priority);
    record->state = MsgThreadState::kRunning;
    plat::set_event(record->started_event);
  }
  // The exit event comes first: an exit wins over pending work.
  const std::array<plat::Handle, 2> events{record->exit_event, record->work_event};
  for (;;) {
    std::uint32_t result = plat::wait_for_objects(events, false, plat::kInfinite);
    if (result != plat::kWaitObject0 + 1) break;
    record->work(record->argument.load());
    record->argument = nullptr;
  }
  record->state = MsgThreadState::kEnded;
  plat::set_event(record->started_event);
}

void CloseEvents(MsgThreadPool& pool) {
  for (std::uint32_t i = 0; i < pool.count; ++i) {
    MsgThreadRecord& record = pool.threads[i];
    for (plat::Handle event : {record.work_event, record.started_event, record.exit_event})
      if (event != plat::kNullHandle) plat::close_handle(event);
  }
}

bool CreateEvents(MsgThreadPool& pool, MsgThreadWork work, const char* exit_event_name) {
  bool named_exit = exit_event_name != nullptr && exit_event_name[0] != '\0';
  for (std::uint32_t i = 0; i < pool.count; ++i) {
    MsgThreadRecord& record = pool.threads[i];
    record.index = i;
    record.work = work;
    record.work_event = plat::create_event(nullptr, false, false, nullptr);
    record.started_event = plat::create_event(nullptr, false, false, nullptr);
    record.exit_event = named_exit ? plat::open_event(exit_event_name)
                                   : plat::create_event(nullptr, true, false, nullptr);
    if (record.work_event == plat::kNullHandle || record.started_event == plat::kNullHandle ||
        record.exit_event == plat::kNullHandle)
      return false;
  }
  return true;
}

bool StartThreads(MsgThreadPool& pool) {
  for (std::uint32_t i = 0; i < pool.count; ++i) {
    try {
      pool.handles[i] = std::thread(RunMsgThread, &pool.threads[i]);
    } catch (const std::system_error&) {
      return false;
    }
    if (plat::wait_for_object(pool.threads[i].started_event, kStartWaitMs) != plat::kWaitObject0)
      return false;
  }
  return true;
}

}  // namespace

MsgThreadPool* BeginMsgThread(std::uint32_t count, MsgThreadWork work,
                              const char* exit_event_name) {
  if (count == 0 || count > kMaxMsgThreads || work == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: BeginMsgThread => Cannot create all data structures (%d threads)",
              QelWinModuleLabel(), static_cast<int>(count));
    return nullptr;
  }
  auto* pool = new (std::nothrow) MsgThreadPool;
  if (pool != nullptr) {
    pool->threads.reset(new (std::nothrow) MsgThreadRecord[count]);
    pool->handles.reset(new (std::nothrow) std::thread[count]);
  }
  if (pool == nullptr || !pool->threads || !pool->handles) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: BeginMsgThread => Cannot create all data structures", QelWinModuleLabel());
    delete pool;
    return nullptr;
  }
  pool->count = count;
  if (!CreateEvents(*pool, work, exit_event_name)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: BeginMsgThread => Cannot create all message events", QelWinModuleLabel());
    CloseEvents(*pool);
    delete pool;
    return nullptr;
  }
  if (!StartThreads(*pool)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: BeginMsgThread => Cannot start all answer threads", QelWinModuleLabel());
    QelWinCloseThreads(pool);
    return nullptr;
  }
  return pool;
}

void QelWinCloseThreads(MsgThreadPool* pool) {
  if (pool == nullptr) return;
  for (std::uint32_t i = 0; i < pool->count; ++i) {
    if (!plat::set_event(pool->threads[i].exit_event))
      LogPutLog(kQelLogError, __FILE__, __LINE__,
                "%s: QelWinCloseThreads => Cannot set exit event", QelWinModuleLabel());
  }
  bool all_ended = true;
  for (std::uint32_t i = 0; i < pool->count; ++i) {
    std::thread& thread = pool->handles[i];
    if (!thread.joinable()) continue;
    MsgThreadRecord& record = pool->threads[i];
    std::uint32_t result = plat::kWaitObject0;
    if (record.state != MsgThreadState::kEnded)
      result = plat::wait_for_object(record.started_event, kCloseWaitMs);
    if (record.state == MsgThreadState::kEnded) {
      thread.join();
      continue;
    }
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: CloseMsgThreads => Cannot terminate thread %d (retVal=x%x)",
              QelWinModuleLabel(), static_cast<int>(i), result);
    thread.detach();
    all_ended = false;
  }
  // A thread that would not end still uses its record: the pool stays allocated.
  if (!all_ended) return;
  CloseEvents(*pool);
  delete pool;
}

void SetMsgThreadPriority(int priority) {
  MsgThreadSettings& settings = Settings();
  std::lock_guard guard(settings.lock);
  settings.priority = priority;
}

void FreeMsgThreadLock() {
  // The lock itself lives as long as the module; pools started later take the
  // normal priority again.
  MsgThreadSettings& settings = Settings();
  std::lock_guard guard(settings.lock);
  settings.priority = plat::kThreadPriorityNormal;
}
