// Interrupts: a driver connects its interrupt routine to a vector; while the
// line behind the vector is asserted, the vector's interrupt thread runs the
// connected routines under their spin lock at the synchronising level.
#pragma once

#include <cstdint>

#include "platform/kernel/irql.h"
#include "platform/kernel/sync.h"
#include "platform/win/nt_status.h"

namespace plat::kernel {

struct InterruptObject;
// Answers true when the interrupt was the device's (claimed).
using InterruptRoutine = bool (*)(InterruptObject* interrupt, void* context);
using SynchronizeRoutine = bool (*)(void* context);

enum class InterruptMode : std::uint8_t { kLevelSensitive = 0, kLatched = 1 };

// lock may be null (the interrupt gets a lock of its own); several interrupts
// passed one lock and one synchronize_level run their routines one at a time.
NtStatus connect_interrupt(InterruptObject** out, InterruptRoutine routine, void* context,
                           SpinLock* lock, std::uint32_t vector, Irql level, Irql synchronize_level,
                           InterruptMode mode, bool share_vector, std::uint64_t affinity,
                           bool save_floating_point);
// Waits until the routine no longer runs.
void disconnect_interrupt(InterruptObject* interrupt);
// Runs routine under the interrupt's lock at its synchronising level.
bool synchronize_with_interrupt(InterruptObject* interrupt, SynchronizeRoutine routine, void* context);
Irql acquire_interrupt_spin_lock(InterruptObject* interrupt);
void release_interrupt_spin_lock(InterruptObject* interrupt, Irql old);

// For the bus: the line of a vector changes level (from any thread).
void set_interrupt_line(std::uint32_t vector, bool asserted);
// Stops every interrupt thread (shutdown).
void stop_interrupt_threads();

}  // namespace plat::kernel
