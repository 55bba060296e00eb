// The copy paths against memcpy over image lines: each run times the path and
// memcpy on the same buffers and reports the path's time as a ratio of
// memcpy's ("vs_memcpy", below 1 is faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "firmware/win32/QelUtilCopy.h"

namespace {

using Path = CopyPathCounts (*)(void*, const void*, std::size_t, bool);

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

// range(0): bytes per copy; range(1): misalignment of the source.
void CompareWithMemcpy(benchmark::State& state, Path path) {
  const auto length = static_cast<std::size_t>(state.range(0));
  const auto skew = static_cast<std::size_t>(state.range(1));
  std::vector<std::byte> source(length + 64, std::byte{0x5A});
  std::vector<std::byte> destination(length + 64);
  auto* from = source.data() + skew;
  auto* to = destination.data();
  double pathSeconds = 0;
  double memcpySeconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    path(to, from, length, false);
    auto middle = std::chrono::steady_clock::now();
    std::memcpy(to, from, length);
    auto end = std::chrono::steady_clock::now();
    benchmark::ClobberMemory();
    pathSeconds += Seconds(middle - start);
    memcpySeconds += Seconds(end - middle);
    state.SetIterationTime(Seconds(middle - start));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
  state.counters["vs_memcpy"] = memcpySeconds > 0 ? pathSeconds / memcpySeconds : 0;
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  // A short line, a 4K-wide 8-bit line, a 4K-wide 32-bit line, a whole 8 MiB frame.
  for (std::int64_t length : {640, 4096, 16384, 8 << 20})
    for (std::int64_t skew : {0, 8, 3}) benchmark->Args({length, skew});
  benchmark->UseManualTime();
}

BENCHMARK_CAPTURE(CompareWithMemcpy, sse, FastMemCopySse)->Apply(Sizes);
BENCHMARK_CAPTURE(CompareWithMemcpy, mmx, FastMemCopyMmx)->Apply(Sizes);
BENCHMARK_CAPTURE(CompareWithMemcpy, plain, FastMemCopy32)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
