// The device-installation library stand-in: devices of this machine are
// installed when the kernel host starts, so no installation is ever pending.
#include <cstdint>

namespace {
constexpr std::uint32_t kWaitObject0 = 0;
}

extern "C" __attribute__((visibility("default"))) std::uint32_t CMP_WaitNoPendingInstallEvents(
    std::uint32_t timeout_ms) {
  return kWaitObject0;
}
