#include "platform/kernel/time.h"

#include <chrono>
#include <thread>

#include "platform/kernel/blocking.h"
#include "platform/kernel/irql.h"

namespace plat::kernel {

namespace {
using Clock = std::chrono::steady_clock;
const Clock::time_point g_host_start = Clock::now();
// From the Unix epoch to 1601-01-01 in 100-nanosecond units.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;
}  // namespace

std::uint64_t query_performance_counter(std::uint64_t* frequency) {
  if (frequency) *frequency = kPerformanceFrequency;
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(ns.count() / 100);
}

std::int64_t query_system_time() {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return ns.count() / 100 + kEpochDifference;
}

std::uint64_t query_tick_count_ms() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_host_start).count());
}

void stall_execution(std::uint32_t microseconds) {
  notice_blocking();
  auto until = Clock::now() + std::chrono::microseconds(microseconds);
  while (Clock::now() < until) {
  }
}

void delay_execution(std::int64_t interval) {
  check_may_block("sleep");
  notice_blocking();
  std::int64_t relative = interval < 0 ? -interval : interval - query_system_time();
  if (relative > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(relative * 100));
}

}  // namespace plat::kernel
