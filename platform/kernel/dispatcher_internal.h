// Inside the kernel: the lock that guards every dispatcher object's state and
// queue of waiters. It is held only for a few instructions at a time; a
// waiting thread sleeps on its own wait block, which only the signal of an
// object it waits on wakes.
#pragma once

#include <mutex>

#include "platform/kernel/sync.h"

namespace plat::kernel::detail {

std::mutex& dispatcher_lock();
// Sets an object's state and hands it to the threads waiting on it whose wait
// it now satisfies (thread end, timer expiry). Takes dispatcher_lock() itself.
void signal_object(DispatcherHeader* header, std::int32_t state);

}  // namespace plat::kernel::detail
