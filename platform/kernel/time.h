// Clocks of the kernel: a 10 MHz performance counter, system time in
// 100-nanosecond units, busy stalls and sleeps.
#pragma once

#include <cstdint>

namespace plat::kernel {

inline constexpr std::uint64_t kPerformanceFrequency = 10'000'000;

// Ticks of a monotonic 10 MHz counter; *frequency (when given) receives its rate.
std::uint64_t query_performance_counter(std::uint64_t* frequency);
// 100-nanosecond units since 1601-01-01 (UTC).
std::int64_t query_system_time();
// Milliseconds since the host started.
std::uint64_t query_tick_count_ms();

// Spins for the given microseconds; allowed at any level.
void stall_execution(std::uint32_t microseconds);
// Sleeps: interval in 100-nanosecond units, negative relative (as wait time-outs).
void delay_execution(std::int64_t interval);

}  // namespace plat::kernel
