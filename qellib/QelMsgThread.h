// A pool of message-answer threads. Each thread waits for its work event and
// then runs the pool's work function with the argument left in its record.
//
// Handing work to a thread: under the caller's own lock, find a record whose
// argument is null (a free thread), store the argument, set its work_event.
// The thread clears the argument once the work function returned.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/win/objects.h"

using MsgThreadWork = std::int32_t (*)(void* argument);

enum class MsgThreadState : std::uint32_t { kCreated = 0, kRunning = 1, kEnded = 2 };

struct MsgThreadRecord {
  std::uint32_t index = 0;
  plat::Handle work_event = plat::kNullHandle;     // auto-reset
  plat::Handle started_event = plat::kNullHandle;  // auto-reset: set at start and at the end
  plat::Handle exit_event = plat::kNullHandle;
  std::atomic<void*> argument{nullptr};
  MsgThreadWork work = nullptr;
  std::atomic<MsgThreadState> state{MsgThreadState::kCreated};
};

struct MsgThreadPool {
  std::uint32_t count = 0;
  std::unique_ptr<MsgThreadRecord[]> threads;
  std::unique_ptr<std::thread[]> handles;
};

// Starts `count` threads running `work`. With an exit event name every thread
// ends when that (existing) event is set; otherwise each gets its own. Null on
// failure, with a log line.
MsgThreadPool* BeginMsgThread(std::uint32_t count, MsgThreadWork work,
                              const char* exit_event_name);
// Ends every thread (waiting up to 2000 ms for each) and frees the pool.
void QelWinCloseThreads(MsgThreadPool* pool);

// The priority every new pool thread takes (plat thread priorities).
void SetMsgThreadPriority(int priority);
void FreeMsgThreadLock();
