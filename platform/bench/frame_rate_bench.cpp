// Frame-rate accuracy at short frame periods: small frames (64 x 8) grabbed
// continuously through the board library into sixteen host buffers. The rate
// the camera reached is measured between two readings of the board's frame
// count; every frame the board started must reach the client or be counted as
// dropped by the board.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "platform/bench/bench_grab.h"
#include "platform/bench/bench_machine.h"

namespace plat::bench {
namespace {

using namespace std::chrono_literals;

void FrameRate(benchmark::State& state) {
  const auto period_us = static_cast<std::uint32_t>(state.range(0));
  GrabSession grab(0, 64, 8, period_us, 16);
  const plat::board::ControlGrabState board_start = grab.board_state();
  if (!grab.ready() || !grab.start()) {
    state.SkipWithError("the grab could not be set up");
    return;
  }
  GrabCounts warm = grab.take(100ms, 1);
  GrabCounts timed;
  double accuracy = 0;
  HostCost cost;
  for (auto _ : state) {
    const HostUsage usage = host_usage();
    const plat::board::ControlGrabState first = grab.board_state();
    const auto from = std::chrono::steady_clock::now();
    timed = grab.take(2s, 1);
    const plat::board::ControlGrabState last = grab.board_state();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    accuracy = (last.frames_started - first.frames_started) / (seconds * 1e6 / period_us);
    cost = host_cost(usage, host_usage(), static_cast<double>(timed.frames));
  }
  const GrabCounts drained = grab.stop();
  const plat::board::ControlGrabState board_end = grab.board_state();
  const std::uint64_t taken = warm.frames + timed.frames + drained.frames;
  const std::uint64_t started = board_end.frames_started - board_start.frames_started;
  const std::uint64_t dropped = board_end.frames_dropped - board_start.frames_dropped;
  state.counters["rate_accuracy"] = accuracy;
  state.counters["frames_started"] = static_cast<double>(started);
  state.counters["frames_taken"] = static_cast<double>(taken);
  state.counters["frames_dropped"] = static_cast<double>(dropped);
  state.counters["frames_lost"] = static_cast<double>(started) - static_cast<double>(taken + dropped);
  state.counters["bad_frames"] = static_cast<double>(warm.bad_frames + timed.bad_frames + drained.bad_frames);
  state.counters["host_cpu_us_per_frame"] = cost.cpu_us;
}
BENCHMARK(FrameRate)->Arg(1000)->Arg(500)->Arg(200)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plat::bench
