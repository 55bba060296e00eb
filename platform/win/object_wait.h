// Waiting on events, semaphores and mutexes of the object table, one or
// several at once, and the mutex ownership rules the waits share with release.
#pragma once

#include <cstdint>
#include <span>

#include "platform/win/object_table.h"

namespace plat::object_wait {

struct Target {
  object_table::Slot* slot;
  std::uint32_t generation;  // of the handle the caller named
};

// The wait results of objects.h; kWaitFailed with kErrorInvalidHandle when an
// object goes away during the wait.
std::uint32_t wait(std::span<const Target> targets, bool wait_all, std::uint32_t timeout_ms);

// Gives up one level of the calling thread's ownership; false (kErrorNotOwner)
// when the thread does not own the mutex.
bool release_mutex(object_table::Slot& mutex);
// Makes the calling thread the owner of a fresh mutex.
void take_fresh_mutex(object_table::Slot& mutex);

// Stores into a futex word and wakes its sleepers.
void publish(object_table::Slot& slot, std::uint32_t value);

}  // namespace plat::object_wait
