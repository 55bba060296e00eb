// A sustained 2048 x 2048 8-bit grab through the board library into eight
// host buffers, every frame checked against the camera pattern, beside a
// single-thread memcpy of the same buffers. At a 1 ms frame period the camera
// offers more than the software carries (the software sets the rate); at
// 100 ms it offers 40 MB/s, and the grab must keep the camera's rate exactly.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "platform/bench/bench_grab.h"
#include "platform/bench/bench_machine.h"

namespace plat::bench {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kSide = 2048;
constexpr std::uint32_t kBuffers = 8;
constexpr std::uint32_t kCheckedLineStride = 16;

// Bytes per second of memcpy from each buffer into the next, `copies` times.
double memcpy_rate(std::vector<std::vector<std::uint8_t>>& buffers, std::uint64_t copies) {
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t i = 0; i < copies; ++i) {
    auto& from = buffers[i % buffers.size()];
    auto& to = buffers[(i + 1) % buffers.size()];
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return static_cast<double>(copies * buffers[0].size()) / seconds;
}

void Grab2048(benchmark::State& state) {
  const auto period_us = static_cast<std::uint32_t>(state.range(0));
  GrabSession grab(0, kSide, kSide, period_us, kBuffers);
  const plat::board::ControlGrabState board_before = grab.board_state();
  if (!grab.ready() || !grab.start()) {
    state.SkipWithError("the grab could not be set up");
    return;
  }
  GrabCounts warm = grab.take(300ms, kCheckedLineStride);
  GrabCounts timed;
  HostCost cost;
  for (auto _ : state) {
    const HostUsage before = host_usage();
    timed = grab.take(3s, kCheckedLineStride);
    cost = host_cost(before, host_usage(), static_cast<double>(timed.frames));
  }
  const GrabCounts drained = grab.stop();
  const plat::board::ControlGrabState board_after = grab.board_state();
  const double grab_rate =
      timed.frames > 1 ? static_cast<double>((timed.frames - 1) * grab.frame_bytes()) / timed.first_to_last_s : 0;
  const double copy_rate = memcpy_rate(grab.buffers(), std::max<std::uint64_t>(timed.frames, 64));
  const double frames_per_s = timed.frames > 1 ? static_cast<double>(timed.frames - 1) / timed.first_to_last_s : 0;
  const std::uint64_t taken = warm.frames + timed.frames + drained.frames;
  const std::uint64_t started = board_after.frames_started - board_before.frames_started;
  const std::uint64_t dropped = board_after.frames_dropped - board_before.frames_dropped;
  state.counters["grab_GBps"] = grab_rate / 1e9;
  state.counters["memcpy_GBps"] = copy_rate / 1e9;
  state.counters["grab_to_memcpy"] = copy_rate > 0 ? grab_rate / copy_rate : 0;
  state.counters["frames_per_s"] = frames_per_s;
  state.counters["of_camera_rate"] = frames_per_s * period_us / 1e6;
  state.counters["frames_taken"] = static_cast<double>(taken);
  state.counters["frames_dropped"] = static_cast<double>(dropped);
  state.counters["frames_lost"] = static_cast<double>(started) - static_cast<double>(taken + dropped);
  state.counters["bad_frames"] = static_cast<double>(warm.bad_frames + timed.bad_frames + drained.bad_frames);
  state.counters["host_cpu_us_per_frame"] = cost.cpu_us;
  state.counters["host_switches_per_frame"] = cost.switches;
}
BENCHMARK(Grab2048)->Arg(1000)->Arg(100000)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plat::bench
