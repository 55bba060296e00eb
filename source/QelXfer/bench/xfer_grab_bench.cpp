// quillet-bench: a sustained grab of 2048 x 2048 8-bit frames through the
// whole road (client -> "QelApi.dll" -> device-control module -> server
// driver -> board library -> kernel host -> simulated board), the bytes per
// second delivered into eight host buffers beside a single-thread memcpy of
// the same buffers in the same run, the client process's processor time per
// frame (the server driver's worker and the callback road run in it), and
// the software time per frame from the worker's taking of the end-of-frame
// message to the client's callback (through the worker's measurement point,
// XferWorkerProbe.h). Run by tools/bench.sh, never by the tests.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/testing/board_control.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/registry.h"
#include "source/QelXfer/XferWorkerProbe.h"
#include "source/QelXfer/XferYatRun.h"
#include "source/samples/sdk_requests.h"

using namespace qelapi;
using namespace sdk_requests;

namespace {

constexpr std::uint32_t kSide = 2048;
constexpr std::uint32_t kBuffers = 8;
constexpr std::uint32_t kEndOfFrame = 0x800000;

// The frames whose callback came; each callback wakes the client's give-backs
// (a client waiting on its callbacks, rather than polling, spends its
// processor time on the frames alone).
std::atomic<std::uint32_t> g_frames{0};
std::mutex g_frameGuard;
std::condition_variable g_frameCame;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The moment the worker took the newest end-of-frame message (0: none since
// the last callback), and the times from there to the callback. The worker
// waits for each callback's answer before it takes its next message, so a
// callback always reads the take of its own frame, and callbacks come one at
// a time.
std::atomic<std::int64_t> g_endOfFrameTaken{0};
constexpr std::size_t kMaxLatencies = 1u << 16;
std::array<std::int64_t, kMaxLatencies> g_latencies;
std::atomic<std::size_t> g_latencyCount{0};

std::uint32_t OnFrame(std::uint64_t, std::uint32_t, std::uint32_t) {
  const std::int64_t taken = g_endOfFrameTaken.exchange(0);
  if (const std::size_t n = g_latencyCount.load(); taken != 0 && n < kMaxLatencies) {
    g_latencies[n] = NowNs() - taken;
    g_latencyCount.store(n + 1);
  }
  {
    std::lock_guard lock(g_frameGuard);
    g_frames.fetch_add(1);
  }
  g_frameCame.notify_one();
  return 0;
}

// Sleeps until a frame after the first `given` came or the deadline passed;
// answers the frames come so far.
std::uint32_t WaitForFrames(std::uint32_t given, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(g_frameGuard);
  g_frameCame.wait_until(lock, deadline, [given] { return g_frames.load() > given; });
  return g_frames.load();
}

}  // namespace

extern "C" void XferWorkerMessageTaken(const std::uint32_t* words) {
  XferMessage message{};
  std::memcpy(message.words.data(), words, sizeof message.words);
  if (message.Type() == kXferMessageTransfer && (message.EventWord() & kXferHwEndOfFrame) != 0)
    g_endOfFrameTaken.store(NowNs());
}

namespace {

// Mean, median, 99th percentile and largest of the samples, in microseconds.
void ReportLatencies(benchmark::State& state, std::vector<std::int64_t> samples) {
  state.counters["eof_to_callback_frames"] = static_cast<double>(samples.size());
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  double sum = 0;
  for (const std::int64_t ns : samples) sum += static_cast<double>(ns);
  const auto at = [&samples](double fraction) {
    return samples[static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1))] / 1e3;
  };
  state.counters["eof_to_callback_us_mean"] = sum / static_cast<double>(samples.size()) / 1e3;
  state.counters["eof_to_callback_us_median"] = at(0.5);
  state.counters["eof_to_callback_us_p99"] = at(0.99);
  state.counters["eof_to_callback_us_max"] = samples.back() / 1e3;
}

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Grab {
  QelServerHandle server{};
  Bytes acquisition, transfer;
  std::vector<Bytes> buffers;
  std::vector<std::uint8_t*> memory;
  RequestEntries entries;  // bound once: the grab's give-backs are a client's own work

  bool Setup() {
    entries = BindRequestEntries();
    if (Sdk<QelManGetServerByNameFn>("QelManGetServerByName")("Tramond-CL_RZ6_1", &server) != kSdkOk) return false;
    const Answer opened = Send(server, 4001, With(ServerHandle(server.address), {0}));
    if (opened.status != 0) return false;
    acquisition = opened.Handle();
    for (const auto& [id, value] : {std::pair{0xA0004u, kSide}, {0x8130004u, kSide}, {0xC0004u, kSide}, {0x8140004u, kSide}})
      if (const std::uint32_t status = Send(server, 4006, With(acquisition, {id, value})).status; status != 0) {
        std::fprintf(stderr, "quillet-bench: parameter 0x%x refused with 0x%x\n", id, status);
        return false;
      }
    for (std::uint32_t n = 0; n < kBuffers; ++n) {
      const Answer made = Send(server, 9001, With(ServerHandle(kHostServer), {kSide, kSide, 0x1010800, 0x20}));
      if (made.status != 0) return false;
      buffers.push_back(made.Handle());
      std::uint64_t address = 0;
      const Answer at = Send(server, 9005, With(made.Handle(), {0x80008}));
      if (at.payload.size() >= 8) std::memcpy(&address, at.payload.data(), 8);
      memory.push_back(reinterpret_cast<std::uint8_t*>(address));
    }
    Bytes request = ServerHandle(server.address);
    Put(request, acquisition.data(), 32);
    Put(request, buffers[0].data(), 32);
    request.resize(request.size() + 20);
    const Answer made = Send(server, 16000, request);
    if (made.status != 0) return false;
    transfer = made.Handle();
    for (std::size_t n = 1; n < buffers.size(); ++n) {
      Bytes pair = transfer;
      Put(pair, acquisition.data(), 32);
      Put(pair, buffers[n].data(), 32);
      pair.resize(pair.size() + 20);
      if (Send(server, 16005, pair).status != 0) return false;
    }
    Bytes callback = transfer;
    const Bytes own = ServerHandle(server.address);
    Put(callback, own.data(), 32);
    Quad(callback, reinterpret_cast<std::uint64_t>(&OnFrame));
    Quad(callback, 0);
    Word(callback, kEndOfFrame);
    const std::uint32_t registered = Send(server, 16013, callback).status;
    const std::uint32_t connected = registered == 0 ? Send(server, 16002, transfer).status : registered;
    if (connected != 0) std::fprintf(stderr, "quillet-bench: the transfer's connect answered 0x%x\n", connected);
    return connected == 0;
  }
  // Gives back every buffer the grab filled up to `frames`.
  void GiveBack(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t k = from; k < to; ++k)
      Send(entries, server, 9006, With(buffers[k % kBuffers], {0xE0004, 0x80000000u}));
  }
};

void SdkGrab2048(benchmark::State& state) {
  Grab grab;
  if (!grab.Setup()) {
    state.SkipWithError("the grab could not be set up");
    return;
  }
  const double frameBytes = double{kSide} * kSide;
  double seconds = 0, cpu = 0;
  std::uint32_t frames = 0;
  for (auto _ : state) {
    g_frames = 0;
    g_endOfFrameTaken = 0;
    g_latencyCount = 0;
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    Send(grab.server, 16009, With(grab.transfer, {0xFFFFFFFFu}));
    std::uint32_t given = 0;
    const auto deadline = start + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::uint32_t seen = WaitForFrames(given, deadline);
      if (seen > given) {
        grab.GiveBack(given, seen);
        given = seen;
      }
    }
    frames = g_frames.load();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu = ProcessCpuSeconds() - cpuBefore;
    Send(grab.server, 16011, grab.transfer);
  }
  ReportLatencies(state, {g_latencies.begin(), g_latencies.begin() + g_latencyCount.load()});
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(frameBytes));
  const std::uint32_t copies = std::max<std::uint32_t>(frames, 64);
  const auto copyStart = std::chrono::steady_clock::now();
  for (std::uint32_t k = 0; k < copies; ++k) {
    std::uint8_t* from = grab.memory[k % kBuffers];
    if (from != nullptr) std::memcpy(scratch.data(), from, scratch.size());
    benchmark::ClobberMemory();
  }
  const double copySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - copyStart).count();
  const double grabRate = frames * frameBytes / seconds, copyRate = copies * frameBytes / copySeconds;
  state.counters["frames"] = frames;
  state.counters["grab_GBps"] = grabRate / 1e9;
  state.counters["memcpy_GBps"] = copyRate / 1e9;
  state.counters["grab_to_memcpy"] = grabRate / copyRate;
  state.counters["client_cpu_us_per_frame"] = frames > 0 ? cpu * 1e6 / frames : 0;
}
BENCHMARK(SdkGrab2048)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  plat::testing::ScopedMachine machine;
  const std::string folder = plat::testing::make_driver_directory(machine);
  plat::RegistryKey* key = nullptr;
  plat::reg_create_key(plat::RegistryRoot::kLocalMachine, kModulesKey, &key);
  plat::reg_set_value(key, "Tramond-CL_RZ6", plat::kRegSz, "Ormel.VKM", sizeof "Ormel.VKM");
  plat::reg_close_key(key);
  auto host = std::make_unique<plat::testing::KernelHostProcess>(std::vector<std::string>{"FolvantX4Full"});
  if (!host->ready()) return 1;
  const plat::board::ControlCameraModel model{kSide, kSide, 1, 8, 1000};
  plat::testing::board_control_set_camera_model(0, 0, model);
  SdkModule() = plat::load_library(kLibraryName);
  if (SdkModule() == nullptr || Sdk<QelManOpenFn>("QelManOpen")() != 0) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Sdk<QelManCloseFn>("QelManClose")();
  host.reset();
  return 0;
}
