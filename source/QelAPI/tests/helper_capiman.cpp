// A process that is board 0's server with the manager commands installed and
// uses the manager client stubs against it; the SDK's library is loaded, so
// the API lock is the SDK's. Driven line by line:
//   script <command> <status>     a newest handler range for that command answering the status -> "script"
//   unscript                      removes it                                                     -> "unscript"
//   callback <thread 0|1>         QelManSendCallback to this server (from a worker thread when 1)
//                                 -> "callback <status> <calls> <under lock 0|1> <context> <type> <count>"
//   ready <seconds>               QelManWaitForServerReady -> "ready <status> <requests the script saw>"
//   private <code>                QelManPrivateCommand     -> "private <status> <requests> <code seen>"
//   installdir <size>             QelManGetInstallDirectory into a guarded buffer -> "installdir <status> <text> <guard intact 0|1>"
//   fifo <n> | destroy            the callback FIFO made or destroyed -> "fifo <status>"
//   queue <k>                     k callbacks queued                  -> "queue <last status>"
//   execute                       one execution                      -> "execute <status> <calls>"
//   counters                      the FIFO's counters                 -> "counters <six numbers>"
#include <atomic>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "source/QelAPI/tests/sdk_host_start.h"
#include "firmware/win32/QelMemBinding.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelCapiMan.h"
#include "source/firmware/ManServer.h"

namespace {

QelStatus g_scriptStatus = QEL_OK;
std::uint32_t g_scriptRequests = 0;
std::uint32_t g_scriptCode = 0;
HostFuncHandler* g_scriptToken = nullptr;

std::atomic<std::uint32_t> g_calls{0};
std::atomic<bool> g_underLock{false};
std::atomic<std::uint64_t> g_context{0};
std::atomic<std::uint32_t> g_type{0}, g_count{0};

std::uint32_t Callback(std::uint64_t context, std::uint32_t type, std::uint32_t count) {
  g_underLock = ApiCallerHoldsLock();
  g_context = context;
  g_type = type;
  g_count = count;
  ++g_calls;
  return 0;
}

std::uint64_t CallbackAddress() { return reinterpret_cast<std::uintptr_t>(&Callback); }

QelStatus Scripted(QelMessageHeader* request) {
  ++g_scriptRequests;
  std::memcpy(&g_scriptCode, reinterpret_cast<const std::uint8_t*>(request) + 68, sizeof g_scriptCode);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus allocated = QelManAllocAnswer(request, sizeof(QelMessageHeader) + 4, &answer);
      allocated != QEL_OK)
    return allocated;
  std::memset(answer + 1, 0, 4);
  answer->command = g_scriptStatus;
  return QelManSendAnswer(answer);
}

std::string Script(std::istringstream& in) {
  const std::uint32_t command = helper::Number(in);
  g_scriptStatus = helper::Number(in);
  g_scriptRequests = 0;
  QelManFreeFuncHandler(g_scriptToken);
  g_scriptToken = nullptr;
  static const QelFuncHandler table[1] = {Scripted};
  return QelManNewFuncHandler(command, command, table, &g_scriptToken) == QEL_OK ? "script" : "script failed";
}

std::string SendCallback(bool threaded) {
  QelStatus status = QEL_OK;
  const auto send = [&status] { status = QelManSendCallback(HostGetLocalServerHandle(), 5, CallbackAddress(), 42, 3, 7); };
  if (threaded) std::thread(send).join();
  else send();
  return "callback " + std::to_string(status) + " " + std::to_string(g_calls.load()) + " " +
         std::to_string(g_underLock.load() ? 1 : 0) + " " + std::to_string(g_context.load()) + " " +
         std::to_string(g_type.load()) + " " + std::to_string(g_count.load());
}

std::string InstallDirectory(std::uint32_t size) {
  std::vector<char> text(size + 16, '#');
  const QelStatus status = QelManGetInstallDirectory(HostGetLocalServerHandle(), text.data(), size);
  bool intact = true;
  for (std::size_t i = size; i < text.size(); ++i) intact = intact && text[i] == '#';
  return "installdir " + std::to_string(status) + " " + std::string(text.data(), strnlen(text.data(), size)) + " " +
         std::to_string(intact ? 1 : 0);
}

std::string Queue(std::uint32_t count) {
  QelStatus status = QEL_OK;
  for (std::uint32_t i = 0; i < count; ++i)
    status = QelManQueueCallback(HostGetLocalServerHandle(), i, CallbackAddress(), 100 + i, 1, i);
  return "queue " + std::to_string(status);
}

std::string Counters() {
  const QelManFifoCounters c = QelManGetFifoCounters();
  return "counters " + std::to_string(c.overflows) + " " + std::to_string(c.overflowsUnreported) + " " +
         std::to_string(c.withoutFifo) + " " + std::to_string(c.withoutFifoUnreported) + " " +
         std::to_string(c.queued) + " " + std::to_string(c.executed);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "script") return Script(in);
  if (command == "unscript") {
    QelManFreeFuncHandler(g_scriptToken);
    g_scriptToken = nullptr;
    return "unscript";
  }
  if (command == "callback") return SendCallback(helper::Number(in) != 0);
  if (command == "ready") {
    const QelStatus status = QelManWaitForServerReady(HostGetLocalServerHandle(), helper::Number(in));
    return "ready " + std::to_string(status) + " " + std::to_string(g_scriptRequests);
  }
  if (command == "private") {
    g_scriptRequests = 0;
    const QelStatus status = QelManPrivateCommand(HostGetLocalServerHandle(), helper::Number(in), nullptr, 0, nullptr, 0);
    return "private " + std::to_string(status) + " " + std::to_string(g_scriptRequests) + " " +
           std::to_string(g_scriptCode);
  }
  if (command == "installdir") return InstallDirectory(helper::Number(in));
  if (command == "fifo") return "fifo " + std::to_string(QelManCreateCallbackFifo(helper::Number(in)));
  if (command == "destroy") return "fifo " + std::to_string(QelManDestroyCallbackFifo());
  if (command == "queue") return Queue(helper::Number(in));
  if (command == "execute") {
    const QelStatus status = QelManExecuteCallback();
    return "execute " + std::to_string(status) + " " + std::to_string(g_calls.load());
  }
  if (command == "counters") return Counters();
  return "unknown " + command;
}

}  // namespace

int main() {
  if (!StartAsSdkHost()) return 1;
  HostFuncHandler* manager = nullptr;
  if (ManServerInit(&manager) != QEL_OK) return 1;
  return helper::Serve(Run);
}
