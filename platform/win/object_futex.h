// Futex calls on words of the shared object table. The words live in a shared
// file mapping, so the calls are never process-private.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <ctime>

namespace plat::object_futex {

void wake_all(std::atomic<std::uint32_t>& word);

enum class WaitOutcome { kWoken, kTimedOut };
// Sleeps until one of the words is woken, differs from its expected value, or
// the monotonic deadline passes (no deadline: forever).
WaitOutcome wait_any(std::span<std::atomic<std::uint32_t>* const> words,
                     std::span<const std::uint32_t> expected,
                     const std::optional<timespec>& deadline);

}  // namespace plat::object_futex
