// Per-thread error texts: the last error a module recorded on this thread,
// appended to the answer the thread sends next. The platform tells a library
// of no thread but the one that loads it, so a thread is registered by its
// first use and forgotten when it ends; the library's unload forgets all.
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win/process.h"
#include "source/QelAPI/QelApi.h"

namespace {

constexpr std::size_t kGrowth = 8;

struct ThreadErrorRecord {
  std::uint32_t threadId;  // 0: free
  std::uint32_t code;
  char text[kQelThreadErrorTextSize];
};

struct ThreadErrors {
  std::mutex guard;
  // Records never move, so a text handed out stays where it is while its thread lives.
  std::vector<std::unique_ptr<ThreadErrorRecord>> records;
  std::uint32_t registered = 0;
  bool closed = false;
};

// Never destroyed: the library's unload hook and ending threads still reach it
// after the library's static objects are gone.
ThreadErrors& Errors() {
  static auto* errors = new ThreadErrors;
  return *errors;
}

void Forget(std::uint32_t thread);

// Clears the thread's record when the thread ends.
struct ThreadSentinel {
  std::uint32_t thread = 0;
  ~ThreadSentinel() {
    if (thread != 0) Forget(thread);
  }
};
thread_local ThreadSentinel t_sentinel;

ThreadErrorRecord* Find(ThreadErrors& errors, std::uint32_t thread) {
  for (auto& record : errors.records)
    if (record->threadId == thread) return record.get();
  return nullptr;
}

ThreadErrorRecord* Register(ThreadErrors& errors, std::uint32_t thread) {
  ThreadErrorRecord* record = Find(errors, 0);
  if (record == nullptr) {
    for (std::size_t i = 0; i < kGrowth; ++i) errors.records.push_back(std::make_unique<ThreadErrorRecord>());
    record = errors.records[errors.records.size() - kGrowth].get();
  }
  std::memset(record, 0, sizeof *record);
  record->threadId = thread;
  ++errors.registered;
  t_sentinel.thread = thread;
  return record;
}

void Forget(std::uint32_t thread) {
  ThreadErrors& errors = Errors();
  std::lock_guard guard(errors.guard);
  ThreadErrorRecord* record = Find(errors, thread);
  if (record == nullptr) return;
  std::memset(record, 0, sizeof *record);
  if (--errors.registered == 0) errors.records.clear();
}

}  // namespace

QelStatus QelManSetThreadError(std::uint32_t code, const char* text) {
  const std::uint32_t thread = plat::current_thread_id();
  ThreadErrors& errors = Errors();
  std::lock_guard guard(errors.guard);
  if (errors.closed) return kQelApiNotRegistered;
  ThreadErrorRecord* record = Find(errors, thread);
  if (record == nullptr) record = Register(errors, thread);
  record->code = code;
  if (text == nullptr) text = "";
  std::strncpy(record->text, text, kQelThreadErrorTextSize - 1);
  record->text[kQelThreadErrorTextSize - 1] = '\0';
  return QEL_OK;
}

const char* QelManGetThreadError(std::uint32_t* code) {
  ThreadErrors& errors = Errors();
  std::lock_guard guard(errors.guard);
  const ThreadErrorRecord* record = Find(errors, plat::current_thread_id());
  if (record == nullptr || record->text[0] == '\0') return nullptr;
  if (code != nullptr) *code = record->code;
  return record->text;
}

void QelManFreeThreadErrors() {
  ThreadErrors& errors = Errors();
  std::lock_guard guard(errors.guard);
  errors.records.clear();
  errors.registered = 0;
  errors.closed = true;
}
