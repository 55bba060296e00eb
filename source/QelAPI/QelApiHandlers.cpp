// The registry of command-handler tables by command-id range, and the
// dispatch of a request to its handler. The list is per process, newest
// first; the token a module keeps is its registration.
#include <mutex>
#include <new>
#include <vector>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"

struct HostFuncHandler {
  HostFuncHandler* newer;
  HostFuncHandler* older;
  std::uint32_t first;
  std::uint32_t last;
  std::vector<QelFuncHandler> table;  // empty: a range without table
  HostTransaction* transaction;       // taken only when there is no table
};

namespace {

constexpr QelStatus kNullToken = HostNullArgument(1);         // 310
constexpr QelStatus kIdOutOfRange = HostArgumentOutOfRange(2);  // 563
constexpr QelStatus kNullHandler = HostNullArgument(3);       // 822
constexpr std::uint32_t kLargestRange = 0x10000;

struct Registry {
  std::mutex guard;  // innermost; never held while a handler runs
  HostFuncHandler* newest = nullptr;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Takes the API lock for a registry operation, or logs why not.
bool LockFor(const char* name) {
  if (ApiLock()) return true;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s => QelManLock Timeout", name);
  return false;
}

bool Registered(const Registry& registry, const HostFuncHandler* token) {
  for (const HostFuncHandler* at = registry.newest; at != nullptr; at = at->older)
    if (at == token) return true;
  return false;
}

void Unlink(Registry& registry, HostFuncHandler* token) {
  if (token->newer != nullptr) token->newer->older = token->older;
  else registry.newest = token->older;
  if (token->older != nullptr) token->older->newer = token->newer;
  token->newer = token->older = nullptr;
}

// The handler of a command: the newest range holding it decides.
QelFuncHandler HandlerOf(std::uint32_t command) {
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.guard);
  for (const HostFuncHandler* at = registry.newest; at != nullptr; at = at->older) {
    if (command < at->first || command > at->last) continue;
    return at->table.empty() ? nullptr : at->table[command - at->first];
  }
  return nullptr;
}

}  // namespace

QelStatus QelManNewFuncHandler(std::uint32_t first, std::uint32_t last, const QelFuncHandler* table,
                               HostFuncHandler** token) {
  if (token == nullptr) return HostNullArgument(4);
  *token = nullptr;
  if (last < first || last - first >= kLargestRange) return kIdOutOfRange;
  if (!LockFor("QelManNewFuncHandler")) return kQelApiLockTimeout;
  auto* registration = new (std::nothrow) HostFuncHandler{};
  QelStatus status = QEL_OK;
  if (registration == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QELHOST: HOSTNEWFUNCHANDLER => No memory ( %d)",
              static_cast<int>(sizeof(HostFuncHandler)));
    status = kQelApiNoMemory;
  } else {
    registration->first = first;
    registration->last = last;
    if (table != nullptr) registration->table.assign(table, table + (last - first + 1));
    else status = HOSTNEWTRANSAC(&registration->transaction);
  }
  if (status == QEL_OK) {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.guard);
    registration->older = registry.newest;
    if (registry.newest != nullptr) registry.newest->newer = registration;
    registry.newest = registration;
    *token = registration;
  } else {
    delete registration;
  }
  ApiUnlock();
  return status;
}

QelStatus QelManModifyFuncHandler(HostFuncHandler* token, std::uint32_t id, QelFuncHandler handler,
                                  QelFuncHandler* previous) {
  if (token == nullptr) return kNullToken;
  if (!LockFor("QelManModifyFuncHandler")) return kQelApiLockTimeout;
  QelStatus status = QEL_OK;
  {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.guard);
    if (!Registered(registry, token)) status = kNullToken;
    else if (id < token->first || id > token->last) status = kIdOutOfRange;
    else if (handler == nullptr) status = kNullHandler;
    else if (token->table.empty()) status = kQelApiNoHandler;
    else {
      if (previous != nullptr) *previous = token->table[id - token->first];
      token->table[id - token->first] = handler;
    }
  }
  ApiUnlock();
  return status;
}

QelStatus QelManFreeFuncHandler(HostFuncHandler* token) {
  if (token == nullptr) return kNullToken;
  if (!LockFor("QelManFreeFuncHandler")) return kQelApiLockTimeout;
  {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.guard);
    // A token that is not (or no longer) registered is left alone.
    if (!Registered(registry, token)) token = nullptr;
    else Unlink(registry, token);
  }
  if (token != nullptr) {
    if (token->transaction != nullptr) HOSTFREETRANSAC(token->transaction);
    delete token;
  }
  ApiUnlock();
  return QEL_OK;
}

void ManServerFree(HostFuncHandler** token) {
  if (token == nullptr || *token == nullptr) return;
  QelManFreeFuncHandler(*token);
  *token = nullptr;
}

QelStatus HostAnswerError(const QelMessageHeader* request, QelStatus status) {
  QelMessageHeader* answer = nullptr;
  QelStatus result = HOSTALLOCANSWER(request, sizeof(QelMessageHeader), &answer);
  if (result != QEL_OK) return result;
  answer->command = status;
  result = HOSTSENDANSWER(answer);
  if (result != QEL_OK) HOSTFREEMSG(answer);
  return result;
}

QelStatus HostDispatchFunc(QelMessageHeader* request) {
  if (request == nullptr) return kHostMessageRefused;
  const QelFuncHandler handler = HandlerOf(request->command);
  if (handler == nullptr) return HostAnswerError(request, kQelApiNoHandler);
  return handler(request);
}

void QelApiInstallDispatch() { HostSetRequestDispatcher(HostDispatchFunc); }
