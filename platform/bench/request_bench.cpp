// The device request round trip, as a client sees it: the driver's ABI-version
// query on "\\.\STAVRO", beside a bare Unix-socket ping-pong with a child
// process carrying as many bytes. The two alternate, so both meet the same
// load; each round trip is timed on its own for the median and the 99th
// percentile.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "platform/bench/bench_machine.h"
#include "platform/win/device.h"

namespace plat::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMessageBytes = 32;  // a request's header; its answer is 24 + 8

bool exchange(int fd, std::array<std::byte, kMessageBytes>& message) {
  return ::write(fd, message.data(), message.size()) == static_cast<ssize_t>(message.size()) &&
         ::read(fd, message.data(), message.size()) == static_cast<ssize_t>(message.size());
}

// A child that answers every message with itself until the socket closes.
struct Echo {
  int fd = -1;
  pid_t child = -1;
  Echo() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
    child = ::fork();
    if (child == 0) {
      ::close(pair[0]);
      std::array<std::byte, kMessageBytes> message{};
      while (::read(pair[1], message.data(), message.size()) == static_cast<ssize_t>(message.size()) &&
             ::write(pair[1], message.data(), message.size()) == static_cast<ssize_t>(message.size())) {
      }
      ::_exit(0);
    }
    ::close(pair[1]);
    fd = pair[0];
  }
  ~Echo() {
    if (fd >= 0) ::close(fd);
    if (child > 0) ::waitpid(child, nullptr, 0);
  }
};

double percentile(std::vector<double>& samples, double fraction) {
  if (samples.empty()) return 0;
  const auto at = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at), samples.end());
  return samples[at];
}

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void RequestRoundTrip(benchmark::State& state) {
  Echo echo;
  const plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  if (echo.fd < 0 || device == plat::kNullHandle) {
    state.SkipWithError("no echo process or no device");
    return;
  }
  std::vector<double> requests, sockets;
  requests.reserve(state.max_iterations);
  sockets.reserve(state.max_iterations);
  std::array<std::byte, kMessageBytes> message{};
  YatIocAbiVersionOut answer{};
  const HostUsage before = host_usage();
  for (auto _ : state) {
    std::uint32_t returned = 0;
    const auto start = Clock::now();
    const bool answered = plat::device_io_control(device, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, &answer,
                                                  sizeof answer, &returned);
    const auto middle = Clock::now();
    const bool echoed = exchange(echo.fd, message);
    const auto end = Clock::now();
    if (!answered || answer.version != YAT_DRIVER_ABI_VERSION || !echoed) {
      state.SkipWithError("a round trip failed");
      break;
    }
    requests.push_back(micros(middle - start));
    sockets.push_back(micros(end - middle));
  }
  const HostCost cost = host_cost(before, host_usage(), static_cast<double>(requests.size()));
  plat::close_device(device);
  const double request_median = percentile(requests, 0.5), socket_median = percentile(sockets, 0.5);
  const double request_p99 = percentile(requests, 0.99), socket_p99 = percentile(sockets, 0.99);
  state.counters["request_median_us"] = request_median;
  state.counters["socket_median_us"] = socket_median;
  state.counters["median_ratio"] = socket_median > 0 ? request_median / socket_median : 0;
  state.counters["request_p99_us"] = request_p99;
  state.counters["socket_p99_us"] = socket_p99;
  state.counters["p99_ratio"] = socket_p99 > 0 ? request_p99 / socket_p99 : 0;
  state.counters["host_cpu_us_per_request"] = cost.cpu_us;
  state.counters["host_switches_per_request"] = cost.switches;
}
BENCHMARK(RequestRoundTrip)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plat::bench
