// Interrupt request levels of the kernel host's threads. Each thread carries
// its own level: passive for requests and system threads, dispatch on the DPC
// thread and while a spin lock is held, a device level while an interrupt
// routine runs. Waiting is allowed only below dispatch level.
#pragma once

#include <cstdint>

namespace plat::kernel {

using Irql = std::uint8_t;

inline constexpr Irql kPassiveLevel = 0;
inline constexpr Irql kApcLevel = 1;
inline constexpr Irql kDispatchLevel = 2;
inline constexpr Irql kFirstDeviceLevel = 3;
inline constexpr Irql kLastDeviceLevel = 26;
inline constexpr Irql kHighLevel = 31;

Irql current_irql();
// Raises the calling thread's level; *old receives the level to go back to.
void raise_irql(Irql new_level, Irql* old);
void lower_irql(Irql old);

// Debug builds stop the host when a thread at dispatch level or above is about
// to block (a DPC or an interrupt routine waiting on an event or a mutex).
void check_may_block(const char* what);

}  // namespace plat::kernel
