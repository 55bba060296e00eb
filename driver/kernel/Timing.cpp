#include "driver/kernel/Timing.h"

#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/time.h"

std::atomic<std::uint32_t> g_StavroClockMhz{0};

namespace {
std::atomic<std::uint32_t> g_cpuSpeedMhz{kDefaultCpuSpeedMhz};
constexpr wchar_t kProcessorKey[] = L"\\REGISTRY\\Machine\\Hardware\\Description\\System\\CentralProcessor\\0";
}  // namespace

bool GetCmosCpuSpeed() {
  std::uint32_t mhz = kDefaultCpuSpeedMhz;
  if (!plat::nt_success(plat::kernel::query_registry_dword(kProcessorKey, L"~MHz", &mhz))) {
    KernelLogPrint(kLogError, __FILE__, __LINE__, "GETCMOSCPUSPEED => Can't find the register key");
    mhz = kDefaultCpuSpeedMhz;
  }
  KernelLogPrint(kLogTrace, __FILE__, __LINE__, "GETCMOSCPUSPEED => cpuSpeed = %d MHz", static_cast<int>(mhz));
  g_cpuSpeedMhz = mhz;
  g_StavroClockMhz = mhz;
  return true;
}

std::uint32_t StavroCpuSpeedMhz() { return g_cpuSpeedMhz.load(); }

std::uint64_t StavroReadCounter() {
  std::uint64_t frequency = 0;
  std::uint64_t ticks = plat::kernel::query_performance_counter(&frequency);
  g_StavroClockMhz = static_cast<std::uint32_t>(frequency / 1000000);
  return ticks;
}

std::uint64_t GetTimeMicroseconds() {
  std::uint64_t ticks = StavroReadCounter();
  std::uint32_t rate = g_StavroClockMhz.load();
  return rate == 0 ? 0 : ticks / rate;
}

std::uint32_t BusyWaitNanoseconds(std::uint32_t nanoseconds) {
  // Start on a counter edge, so that a wait never ends a tick too early.
  std::uint32_t first = static_cast<std::uint32_t>(StavroReadCounter());
  std::uint32_t start = first;
  while (start == first) start = static_cast<std::uint32_t>(StavroReadCounter());
  std::uint32_t rate = g_StavroClockMhz.load();
  if (rate == 0) return 0;
  for (;;) {
    std::uint64_t elapsed = static_cast<std::uint32_t>(static_cast<std::uint32_t>(StavroReadCounter()) - start);
    if ((elapsed * 1000 + rate / 2) / rate >= nanoseconds) return 1;
  }
}

std::uint32_t StallNanosecondsWith(std::uint32_t nanoseconds, StavroBusyWait wait) {
  if (g_StavroClockMhz.load() == 0) {
    KernelLogPrint(kLogTrace, __FILE__, __LINE__, "CPU Speed Not Initialized");
    return 0;
  }
  for (std::uint32_t i = 0; i < nanoseconds / kStallPieceNanoseconds; ++i) wait(kStallPieceNanoseconds);
  wait(nanoseconds % kStallPieceNanoseconds);
  return 1;
}

std::uint32_t StallNanoseconds(std::uint32_t nanoseconds) {
  return StallNanosecondsWith(nanoseconds, BusyWaitNanoseconds);
}
