// What the kernel host spends while nothing happens: two boards, the driver
// loaded, one client with the board library open, no grab.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "platform/bench/bench_machine.h"

namespace plat::bench {
namespace {

void IdleHost(benchmark::State& state) {
  double seconds = 0;
  HostUsage before, after;
  for (auto _ : state) {
    before = host_usage();
    const auto from = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    after = host_usage();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  }
  state.counters["host_cpu_fraction"] = static_cast<double>(after.cpu_ns - before.cpu_ns) / 1e9 / seconds;
  state.counters["host_switches_per_s"] = static_cast<double>(after.switches - before.switches) / seconds;
}
BENCHMARK(IdleHost)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plat::bench
