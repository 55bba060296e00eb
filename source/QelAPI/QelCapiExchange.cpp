#include "source/QelAPI/QelCapiExchange.h"

#include <chrono>
#include <thread>

#include "qellib/QelLog.h"

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t LowByte(QelStatus status) { return status & 0xFFu; }

std::uint64_t MillisecondsSince(Clock::time_point start) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// What one attempt holds, given back in reverse order when it ends: the
// answer, the transaction, the request, the event, the API lock.
class Attempt {
 public:
  Attempt() = default;
  Attempt(const Attempt&) = delete;
  Attempt& operator=(const Attempt&) = delete;
  ~Attempt() {
    DropAnswer();
    if (lockHeld_) {
      if (request_ != nullptr) QelManFreeMsg(request_);
      if (event_ != plat::kNullHandle) QelManReleaseEvent(event_);
      ApiUnlock();
    } else {
      // The lock was lost during a busy pause: what can be given back
      // without it is; the event stays with the pool's refusal logged.
      if (request_ != nullptr) HOSTFREEMSG(request_);
      if (event_ != plat::kNullHandle) QelManReleaseEvent(event_);
    }
  }

  QelStatus Begin(const QelCapiCall& call) {
    if (!ApiLock()) return kQelCapiLockNotHad;
    lockHeld_ = true;
    if (const QelStatus status = QelManGetEvent(&event_); status != QEL_OK) return status;
    if (const QelStatus status = QelManAllocMsg(call.requestSize, &request_); status != QEL_OK) return status;
    request_->destination = call.destination;
    request_->command = call.command;
    if (call.fill != nullptr) call.fill(call.fillContext, request_);
    return QEL_OK;
  }

  // Posts the request and takes its answer; the answer's status in *status.
  QelStatus PostAndReceive(std::uint32_t timeoutMs, QelStatus* status) {
    if (const QelStatus posted = QelManPostMsg(request_, event_, &transaction_); posted != QEL_OK) return posted;
    if (const QelStatus waited = QelManWaitEvent(event_, timeoutMs); waited != QEL_OK) return waited;
    if (const QelStatus got = QelManGetAnswer(transaction_, &answer_); got != QEL_OK) return got;
    *status = answer_->command;
    return QEL_OK;
  }

  // The busy retry: the lock is released for each pause and the same request
  // posted again.
  QelStatus RetryWhileBusy(std::uint32_t timeoutMs, QelStatus* status) {
    const Clock::time_point firstBusy = Clock::now();
    while (LowByte(*status) == kQelCapiBusy && MillisecondsSince(firstBusy) < kQelCapiBusyLimitMs) {
      ApiUnlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(kQelCapiBusyPauseMs));
      if (!ApiLock()) {
        lockHeld_ = false;
        return kQelCapiLockNotHad;
      }
      DropAnswer();
      if (const QelStatus again = PostAndReceive(timeoutMs, status); again != QEL_OK) return again;
    }
    return QEL_OK;
  }

  const QelMessageHeader* answer() const { return answer_; }

 private:
  void DropAnswer() {
    if (lockHeld_) {
      if (answer_ != nullptr) QelManFreeMsg(answer_);
      if (transaction_ != nullptr) QelManFreeAnswer(transaction_);
    } else {
      if (answer_ != nullptr) HOSTFREEMSG(answer_);
      if (transaction_ != nullptr) HOSTFREETRANSAC(transaction_);
    }
    answer_ = nullptr;
    transaction_ = nullptr;
  }

  bool lockHeld_ = false;
  plat::Handle event_ = plat::kNullHandle;
  QelMessageHeader* request_ = nullptr;
  HostTransaction* transaction_ = nullptr;
  QelMessageHeader* answer_ = nullptr;
};

QelStatus AttemptOnce(const QelCapiCall& call) {
  Attempt attempt;
  if (const QelStatus status = attempt.Begin(call); status != QEL_OK) return status;
  QelStatus status = QEL_OK;
  if (const QelStatus failure = attempt.PostAndReceive(call.timeoutMs, &status); failure != QEL_OK) return failure;
  if (call.busyRetry && LowByte(status) == kQelCapiBusy) {
    if (const QelStatus failure = attempt.RetryWhileBusy(call.timeoutMs, &status); failure != QEL_OK) return failure;
  }
  if (status == QEL_OK && call.unpack != nullptr) status = call.unpack(call.unpackContext, attempt.answer());
  return status;
}

}  // namespace

QelStatus QelCapiExchange(const QelCapiCall& call) {
  const Clock::time_point start = Clock::now();
  const std::uint64_t repeatLimit = std::uint64_t{call.timeoutMs} * kQelCapiRepeatTimeouts;
  for (;;) {
    const QelStatus status = AttemptOnce(call);
    if (LowByte(status) != kQelCapiRepeat) return status;
    if (MillisecondsSince(start) >= repeatLimit) {
      LogPutLog(kQelLogError, __FILE__, __LINE__,
                "QelCapiExchange => Command %u to 0x%08x still asked for repetition after %u ms (0x%08x)",
                call.command, call.destination, static_cast<unsigned>(repeatLimit), status);
      return status;
    }
  }
}
