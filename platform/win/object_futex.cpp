#include "platform/win/object_futex.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#ifndef SYS_futex_waitv
#define SYS_futex_waitv 449
#endif

namespace plat::object_futex {
namespace {

std::uint32_t* address_of(std::atomic<std::uint32_t>& word) {
  static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
  return reinterpret_cast<std::uint32_t*>(&word);
}

timespec now_monotonic() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

bool reached(const timespec& deadline) {
  timespec now = now_monotonic();
  return now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

// Kernels before futex_waitv: sleep on the first word, a short while at a time.
WaitOutcome wait_first_polling(std::atomic<std::uint32_t>& word, std::uint32_t expected, bool several,
                               const std::optional<timespec>& deadline) {
  timespec slice{0, several ? 1'000'000L : 50'000'000L};
  ::syscall(SYS_futex, address_of(word), FUTEX_WAIT, expected, &slice, nullptr, 0);
  return deadline && reached(*deadline) ? WaitOutcome::kTimedOut : WaitOutcome::kWoken;
}

}  // namespace

void wake_all(std::atomic<std::uint32_t>& word) {
  ::syscall(SYS_futex, address_of(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

WaitOutcome wait_any(std::span<std::atomic<std::uint32_t>* const> words,
                     std::span<const std::uint32_t> expected, const std::optional<timespec>& deadline) {
  static std::atomic<bool> waitv_missing{false};
  std::array<futex_waitv, FUTEX_WAITV_MAX> waiters{};
  std::size_t count = std::min(words.size(), waiters.size());
  if (count == 0 || expected.size() < count) return WaitOutcome::kWoken;
  if (waitv_missing.load(std::memory_order_relaxed))
    return wait_first_polling(*words[0], expected[0], count > 1, deadline);
  for (std::size_t i = 0; i < count; ++i) {
    waiters[i].val = expected[i];
    waiters[i].uaddr = reinterpret_cast<std::uintptr_t>(address_of(*words[i]));
    waiters[i].flags = FUTEX_32;
  }
  const timespec* timeout = deadline ? &*deadline : nullptr;
  long rc = ::syscall(SYS_futex_waitv, waiters.data(), static_cast<unsigned>(count), 0u, timeout,
                      CLOCK_MONOTONIC);
  if (rc >= 0) return WaitOutcome::kWoken;
  if (errno == ETIMEDOUT) return WaitOutcome::kTimedOut;
  if (errno == ENOSYS) {
    waitv_missing.store(true, std::memory_order_relaxed);
    return wait_first_polling(*words[0], expected[0], count > 1, deadline);
  }
  return WaitOutcome::kWoken;  // changed value (EAGAIN) or a signal: look again
}

}  // namespace plat::object_futex
