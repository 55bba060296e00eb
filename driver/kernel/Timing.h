// Timing service of the driver: the CPU speed from the registry, microseconds
// from the performance counter, busy waits and stalls below a microsecond's
// resolution of the system's own stall.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kDefaultCpuSpeedMhz = 2000;
inline constexpr std::uint32_t kStallPieceNanoseconds = 500000;

// Reads "~MHz" of the first processor (2000 when missing) as the initial clock rate.
bool GetCmosCpuSpeed();
std::uint32_t StavroCpuSpeedMhz();
// Reads the counter (which replaces the clock rate with the counter's MHz).
std::uint64_t StavroReadCounter();
std::uint64_t GetTimeMicroseconds();
// 1 when waited, 0 when the clock rate is unknown.
std::uint32_t BusyWaitNanoseconds(std::uint32_t nanoseconds);
std::uint32_t StallNanoseconds(std::uint32_t nanoseconds);

// The stall's pieces go to `wait` (BusyWaitNanoseconds in the driver).
using StavroBusyWait = std::uint32_t (*)(std::uint32_t nanoseconds);
std::uint32_t StallNanosecondsWith(std::uint32_t nanoseconds, StavroBusyWait wait);
