// The manager lock: one machine-wide recursive mutex. Its holder is written
// into the shared tables so that any process can name it; a holder that died
// leaves the mutex abandoned and the next taker logs that it took it over.
#include <mutex>

#include "platform/sdk/sdk_internal.h"

namespace qelapi::sdk {

namespace {

thread_local std::uint32_t depth = 0;

plat::Handle manager_mutex() {
  static plat::Handle handle = plat::create_mutex(nullptr, false, kManagerLockName);
  return handle;
}

void note_holder(bool held) {
  SharedTables* t = tables();
  if (t == nullptr) return;
  if (held) {
    t->lock.holder = plat::current_process();
    t->lock.holder_thread = plat::current_thread_id();
  } else {
    t->lock.holder_thread = 0;
    t->lock.holder = {};
  }
}

bool acquire(std::uint32_t timeout_ms) {
  plat::Handle m = manager_mutex();
  if (m == plat::kNullHandle) return false;
  std::uint32_t r = plat::wait_for_object(m, timeout_ms);
  if (r == plat::kWaitAbandoned0) {
    SharedTables* t = tables();
    std::uint32_t thread = t ? t->lock.holder_thread : 0;
    std::int32_t pid = t ? t->lock.holder.pid : 0;
    log_line(1, __LINE__,
             "QelManLock => manager lock of dead thread " + std::to_string(thread) + " (process " +
                 std::to_string(pid) + ") taken over");
  } else if (r != plat::kWaitObject0) {
    return false;
  }
  note_holder(true);
  return true;
}

void release() {
  note_holder(false);
  plat::release_mutex(manager_mutex());
}

}  // namespace

bool take_manager_lock(std::uint32_t timeout_ms) {
  if (depth > 0) {
    ++depth;
    return true;
  }
  if (!acquire(timeout_ms)) return false;
  depth = 1;
  return true;
}

void give_manager_lock() {
  if (depth == 0) return;
  if (--depth == 0) release();
}

}  // namespace qelapi::sdk

using namespace qelapi::sdk;

QELAPI_EXPORT std::int32_t QelManLock() { return take_manager_lock(qelapi::kManagerLockTimeoutMs) ? 1 : 0; }

QELAPI_EXPORT std::int32_t QelManUnlock() {
  if (depth == 0) return 0;
  give_manager_lock();
  return 1;
}

QELAPI_EXPORT std::uint32_t QelManGetAPILocker() {
  SharedTables* t = tables();
  if (t == nullptr || t->lock.holder_thread == 0) return 0;
  // A dead holder holds nothing any more.
  plat::ProcessIdentity holder = t->lock.holder;
  std::uint32_t thread = t->lock.holder_thread;
  return plat::is_process_alive(holder) ? thread : 0;
}

QELAPI_EXPORT std::uint32_t QelManUnlockThread(std::uint32_t all) {
  std::uint32_t held = depth;
  if (held == 0) return 0;
  if (all == 0) {
    give_manager_lock();
  } else {
    depth = 0;
    release();
  }
  return held;
}

QELAPI_EXPORT std::int32_t QelManRelockThread(std::uint32_t wanted) {
  if (wanted == 0 || depth >= wanted) return 1;
  if (depth == 0 && !acquire(qelapi::kManagerLockTimeoutMs)) return 0;
  depth = wanted;
  return 1;
}
