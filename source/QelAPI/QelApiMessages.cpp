// Message and answer wrappers over the messaging layer. Each needs the API
// lock held by the calling thread: the layer's shared tables have no lock of
// their own.
#include "source/QelAPI/QelApi.h"

namespace {

constexpr QelStatus kManager = kQelModuleManager;

QelStatus Manager(QelStatus status) { return status == QEL_OK ? QEL_OK : (status | kManager); }

}  // namespace

QelStatus QelManAllocMsg(std::uint32_t size, QelMessageHeader** message) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  return Manager(HOSTALLOCMSG(size, message));
}

QelStatus QelManFreeMsg(QelMessageHeader* message) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  return Manager(HOSTFREEMSG(message));
}

QelStatus QelManAllocAnswer(const QelMessageHeader* request, std::uint32_t size, QelMessageHeader** answer) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  return Manager(HOSTALLOCANSWER(request, size, answer));
}

QelStatus QelManPostMsg(QelMessageHeader* message, plat::Handle event, HostTransaction** transaction) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  return Manager(HOSTPOSTMSG(message, nullptr, event, transaction));
}

QelStatus QelManGetAnswer(HostTransaction* transaction, QelMessageHeader** answer) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  const QelStatus status = HOSTGETANSWER(transaction, answer);
  if (status != QEL_OK) return Manager(status);
  // The server's explanation travels with its status.
  if (const char* text = HostAnswerErrorText(*answer)) QelManSetThreadError((*answer)->command, text);
  return QEL_OK;
}

QelStatus QelManFreeAnswer(HostTransaction* transaction) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  return Manager(HOSTFREETRANSAC(transaction));
}

QelStatus QelManAppendError(QelMessageHeader** answer) {
  if (!ApiCallerHoldsLock()) return kQelApiNotLockHolder;
  if (answer == nullptr) return Manager(HostNullArgument(1));
  std::uint32_t code = 0;
  return Manager(HOSTAPPENDERRORTOANSWER(*answer, QelManGetThreadError(&code), answer));
}

QelStatus QelManSendAnswer(QelMessageHeader* answer) {
  if (answer == nullptr) return Manager(kHostMessageRefused);
  if (!ApiCallerHoldsLock()) {
    HOSTFREEMSG(answer);
    return kQelApiNotLockHolder;
  }
  QelStatus status = QEL_OK;
  if ((answer->flags & kQelMsgAnswer) != 0) {
    std::uint32_t code = 0;
    status = HOSTAPPENDERRORTOANSWER(answer, QelManGetThreadError(&code), &answer);
  }
  if (status == QEL_OK) status = HOSTSENDANSWER(answer);
  if (status != QEL_OK) HOSTFREEMSG(answer);
  return Manager(status);
}
