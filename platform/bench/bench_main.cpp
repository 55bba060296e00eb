// plat-bench: the benchmarks of the kernel host and the simulated board, each
// beside a reference measured in the same run (tools/bench.sh).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "platform/bench/bench_machine.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!plat::bench::machine_start()) {
    std::fprintf(stderr, "plat-bench: the kernel host or the board library did not start\n");
    plat::bench::machine_stop();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  plat::bench::machine_stop();
  return 0;
}
