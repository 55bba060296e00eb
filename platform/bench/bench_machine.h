// The machine every benchmark runs on: a fresh machine directory, a kernel
// host with two boards, and the board library opened in this process (the
// benchmark is an ordinary client of the system). What the host spends is read
// from outside, from /proc, summed over its threads.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace plat::bench {

// Starts the machine once (false when the host or the library does not come up).
bool machine_start();
void machine_stop();
pid_t host_pid();

struct HostUsage {
  std::uint64_t cpu_ns = 0;    // time on a processor
  std::uint64_t switches = 0;  // context switches, voluntary or not
};
HostUsage host_usage();

// What the host spent between two readings, per `count` things done.
struct HostCost {
  double cpu_us = 0;
  double switches = 0;
};
HostCost host_cost(const HostUsage& before, const HostUsage& after, double count);

}  // namespace plat::bench
