#include "platform/win/object_wait.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <optional>

#include "platform/win/errors.h"
#include "platform/win/object_futex.h"
#include "platform/win/process.h"

namespace plat::object_wait {
namespace {

using object_table::Slot;

// A waiter on a mutex whose owner sleeps looks this often whether the owner
// has died (its death does not touch the word).
constexpr long kOwnerCheckMs = 50;

enum class Take { kNo, kYes, kAbandoned };

struct Self {
  std::uint32_t tid = current_thread_id();
  std::uint64_t start = current_thread_start_time();
};

bool owner_gone(const Slot& mutex, std::uint32_t owner) {
  std::uint64_t recorded = mutex.owner_start.load();
  if (mutex.word.load() != owner) return false;
  std::uint64_t running = thread_start_time(owner);
  // A recorded start of 0 means the owner has not written it yet (or cannot
  // read its own); then only the thread id speaks.
  return running == 0 || (recorded != 0 && running != recorded);
}

bool available(const Slot& slot, std::uint32_t value, const Self& self) {
  switch (slot.kind) {
    case ObjectKind::kEvent:
      return value != 0;
    case ObjectKind::kSemaphore:
      return static_cast<std::int32_t>(value) > 0;
    case ObjectKind::kMutex:
      return value == 0 || value == self.tid || owner_gone(slot, value);
    default:
      return false;
  }
}

void become_owner(Slot& mutex, const Self& self) {
  mutex.owner_start.store(self.start);
  mutex.recursion = 1;
}

Take take(Slot& slot, std::uint32_t value, const Self& self) {
  switch (slot.kind) {
    case ObjectKind::kEvent:
      if (slot.manual_reset) return value != 0 ? Take::kYes : Take::kNo;
      return slot.word.compare_exchange_strong(value, 0) ? Take::kYes : Take::kNo;
    case ObjectKind::kSemaphore:
      return slot.word.compare_exchange_strong(value, value - 1) ? Take::kYes : Take::kNo;
    case ObjectKind::kMutex:
      if (value == self.tid) {
        ++slot.recursion;
        return Take::kYes;
      }
      if (!slot.word.compare_exchange_strong(value, self.tid)) return Take::kNo;
      become_owner(slot, self);
      return value == 0 ? Take::kYes : Take::kAbandoned;
    default:
      return Take::kNo;
  }
}

// Gives back what a wait for all took before it found one object gone.
void untake(Slot& slot) {
  switch (slot.kind) {
    case ObjectKind::kEvent:
      if (!slot.manual_reset) publish(slot, 1);
      break;
    case ObjectKind::kSemaphore:
      slot.word.fetch_add(1);
      if (slot.waiters.load() != 0) object_futex::wake_all(slot.word);
      break;
    case ObjectKind::kMutex:
      release_mutex(slot);
      break;
    default:
      break;
  }
}

bool still_live(std::span<const Target> targets) {
  return std::all_of(targets.begin(), targets.end(),
                     [](const Target& t) { return t.slot->live_generation.load() == t.generation; });
}

timespec deadline_after(long milliseconds) {
  timespec at{};
  ::clock_gettime(CLOCK_MONOTONIC, &at);
  at.tv_sec += milliseconds / 1000;
  at.tv_nsec += (milliseconds % 1000) * 1'000'000L;
  if (at.tv_nsec >= 1'000'000'000L) {
    at.tv_sec += 1;
    at.tv_nsec -= 1'000'000'000L;
  }
  return at;
}

bool earlier(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool passed(const timespec& deadline) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return !earlier(now, deadline);
}

class WaiterRegistration {
 public:
  explicit WaiterRegistration(std::span<const Target> targets) : targets_(targets) {
    for (const Target& t : targets_) t.slot->waiters.fetch_add(1);
  }
  ~WaiterRegistration() {
    for (const Target& t : targets_) t.slot->waiters.fetch_sub(1);
  }
  WaiterRegistration(const WaiterRegistration&) = delete;
  WaiterRegistration& operator=(const WaiterRegistration&) = delete;

 private:
  std::span<const Target> targets_;
};

constexpr std::uint32_t kRaced = 0xFFFFFFFEu;

// One look at a snapshot: the wait result, or kRaced when another thread took
// an object between the snapshot and the take, or kWaitTimeout when nothing
// was available.
std::uint32_t try_any(std::span<const Target> targets, std::span<const std::uint32_t> values,
                      const Self& self) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!available(*targets[i].slot, values[i], self)) continue;
    Take result = take(*targets[i].slot, values[i], self);
    if (result == Take::kYes) return kWaitObject0 + static_cast<std::uint32_t>(i);
    if (result == Take::kAbandoned) return kWaitAbandoned0 + static_cast<std::uint32_t>(i);
    return kRaced;
  }
  return kWaitTimeout;
}

std::uint32_t try_all(std::span<const Target> targets, std::span<const std::uint32_t> values,
                      const Self& self) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!available(*targets[i].slot, values[i], self)) return kWaitTimeout;
  }
  std::optional<std::uint32_t> abandoned;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    Take result = take(*targets[i].slot, values[i], self);
    if (result == Take::kNo) {
      for (std::size_t j = i; j-- > 0;) untake(*targets[j].slot);
      return kRaced;
    }
    if (result == Take::kAbandoned && !abandoned) abandoned = static_cast<std::uint32_t>(i);
  }
  return abandoned ? kWaitAbandoned0 + *abandoned : kWaitObject0;
}

bool waits_on_living_owner(std::span<const Target> targets, std::span<const std::uint32_t> values,
                           const Self& self) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (targets[i].slot->kind == ObjectKind::kMutex && values[i] != 0 && values[i] != self.tid) return true;
  }
  return false;
}

}  // namespace

void publish(Slot& slot, std::uint32_t value) {
  slot.word.store(value);
  if (slot.waiters.load() != 0) object_futex::wake_all(slot.word);
}

void take_fresh_mutex(Slot& mutex) {
  Self self;
  mutex.word.store(self.tid);
  become_owner(mutex, self);
}

bool release_mutex(Slot& mutex) {
  if (mutex.word.load() != current_thread_id()) {
    set_last_error(kErrorNotOwner);
    return false;
  }
  if (--mutex.recursion > 0) return true;
  mutex.owner_start.store(0);
  publish(mutex, 0);
  return true;
}

std::uint32_t wait(std::span<const Target> targets, bool wait_all, std::uint32_t timeout_ms) {
  Self self;
  std::optional<timespec> deadline;
  if (timeout_ms != kInfinite) deadline = deadline_after(timeout_ms);
  WaiterRegistration registration(targets);
  std::array<std::atomic<std::uint32_t>*, kMaximumWaitObjects> words{};
  std::array<std::uint32_t, kMaximumWaitObjects> values{};
  std::size_t count = std::min(targets.size(), kMaximumWaitObjects);
  for (std::size_t i = 0; i < count; ++i) words[i] = &targets[i].slot->word;
  auto snapshot = std::span(values).first(count);
  for (;;) {
    // The snapshot comes first: a change after it makes the sleep below
    // return at once, so no signal falls between looking and sleeping.
    for (std::size_t i = 0; i < count; ++i) values[i] = words[i]->load();
    if (!still_live(targets)) {
      set_last_error(kErrorInvalidHandle);
      return kWaitFailed;
    }
    std::uint32_t result = wait_all ? try_all(targets, snapshot, self) : try_any(targets, snapshot, self);
    if (result == kRaced) continue;
    if (result != kWaitTimeout) return result;
    if (deadline && passed(*deadline)) return kWaitTimeout;
    std::optional<timespec> wake_at = deadline;
    if (waits_on_living_owner(targets, snapshot, self)) {
      timespec check = deadline_after(kOwnerCheckMs);
      if (!wake_at || earlier(check, *wake_at)) wake_at = check;
    }
    object_futex::wait_any(std::span(words).first(count), snapshot, wake_at);
  }
}

}  // namespace plat::object_wait
