// Inside the kernel: the one lock that guards every dispatcher object's state
// and the condition its waiters sleep on.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/kernel/sync.h"

namespace plat::kernel::detail {

std::mutex& dispatcher_lock();
std::condition_variable& dispatcher_wake();
// Wakes every waiting thread; they re-check their objects.
void wake_waiters();
// Under dispatcher_lock(): signals an object (thread end, timer expiry).
void signal_locked(DispatcherHeader* header, std::int32_t state);

}  // namespace plat::kernel::detail
