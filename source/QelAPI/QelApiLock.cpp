// The API lock: the SDK manager's lock, reached through five entries of
// "QelApi.DLL" bound only when that library is already in the process. The
// entries are atomics so that a thread that asks while the instance binds or
// forgets them sees either the whole old or the whole new entry, never a call
// into a library that was forgotten.
#include <atomic>

#include "platform/win/library.h"
#include "platform/win/process.h"
#include "source/QelAPI/QelApi.h"

namespace {

using LockFn = std::int32_t (*)();
using UnlockFn = std::int32_t (*)();
using GetLockerFn = std::uint32_t (*)();
using UnlockThreadFn = std::uint32_t (*)(std::uint32_t all);
using RelockThreadFn = std::int32_t (*)(std::uint32_t depth);

constexpr char kSdkLibrary[] = "QelApi.DLL";

struct ApiLockEntries {
  std::atomic<plat::ModuleHandle> library{nullptr};
  std::atomic<LockFn> lock{nullptr};
  std::atomic<UnlockFn> unlock{nullptr};
  std::atomic<GetLockerFn> getLocker{nullptr};
  std::atomic<RelockThreadFn> relockThread{nullptr};
  std::atomic<UnlockThreadFn> unlockThread{nullptr};
};

constinit ApiLockEntries g_entries;

template <typename Fn>
Fn EntryOf(plat::ModuleHandle library, const char* name) {
  return reinterpret_cast<Fn>(plat::get_proc_address(library, name));
}

}  // namespace

void ForgetApiLocker() {
  g_entries.lock.store(nullptr);
  g_entries.unlock.store(nullptr);
  g_entries.getLocker.store(nullptr);
  g_entries.relockThread.store(nullptr);
  g_entries.unlockThread.store(nullptr);
  g_entries.library.store(nullptr);
}

void BindApiLocker() {
  plat::ModuleHandle library = plat::find_loaded_library(kSdkLibrary);
  if (library == nullptr) {
    ForgetApiLocker();
    return;
  }
  const auto lock = EntryOf<LockFn>(library, "QelManLock");
  const auto unlock = EntryOf<UnlockFn>(library, "QelManUnlock");
  const auto getLocker = EntryOf<GetLockerFn>(library, "QelManGetAPILocker");
  const auto relock = EntryOf<RelockThreadFn>(library, "QelManRelockThread");
  const auto unlockThread = EntryOf<UnlockThreadFn>(library, "QelManUnlockThread");
  // Half a lock is worse than none: a caller could take it and never give it back.
  if (lock == nullptr || unlock == nullptr || getLocker == nullptr || relock == nullptr || unlockThread == nullptr) {
    ForgetApiLocker();
    return;
  }
  g_entries.library.store(library);
  g_entries.lock.store(lock);
  g_entries.unlock.store(unlock);
  g_entries.getLocker.store(getLocker);
  g_entries.relockThread.store(relock);
  g_entries.unlockThread.store(unlockThread);
}

bool ApiLockIsBound() { return g_entries.lock.load() != nullptr; }

bool ApiLock() {
  const LockFn lock = g_entries.lock.load();
  return lock == nullptr || lock() != 0;
}

void ApiUnlock() {
  if (const UnlockFn unlock = g_entries.unlock.load()) unlock();
}

std::uint32_t ApiGetLocker() {
  const GetLockerFn getLocker = g_entries.getLocker.load();
  return getLocker != nullptr ? getLocker() : 0;
}

bool ApiCallerHoldsLock() {
  const std::uint32_t holder = ApiGetLocker();
  return holder != 0 && holder == plat::current_thread_id();
}

std::uint8_t ApiUnlockThread() {
  const UnlockThreadFn unlockThread = g_entries.unlockThread.load();
  if (unlockThread == nullptr) return 1;
  return static_cast<std::uint8_t>(unlockThread(1) & 0xFFu);
}

bool ApiRelockThread(std::uint8_t depth) {
  const RelockThreadFn relock = g_entries.relockThread.load();
  return relock == nullptr || relock(depth) != 0;
}

std::uint32_t GetCommTimeout() { return kQelCommTimeoutMs; }
