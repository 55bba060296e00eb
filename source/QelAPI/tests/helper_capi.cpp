// A process whose server answers a test command range with scripted statuses,
// and whose client stubs' exchange sends to it; the SDK's library is loaded,
// so the API lock is the SDK's. Driven line by line:
//   script <status> ...        what the server answers, one per request; the last repeats -> "script"
//   call <busy retry 0|1> <time-out ms>   one exchange of command 9500
//                              -> "call <status> <requests> <word read back> <words the server saw...>"
//   events                     the event pool still gives an event      -> "events <status>"
//   create                     QelBufferNew against the scripted range 9000-9001, which answers a
//                              made-up buffer handle  -> "create <status> <handle given 0|1> <its server word>"
//   free                       QelBufferFree of the last handle created  -> "free <status> <handle still usable 0|1>"
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "source/QelAPI/tests/sdk_host_start.h"
#include "firmware/win32/QelMemBinding.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelCapiBuf.h"
#include "source/QelAPI/QelCapiExchange.h"

namespace {

constexpr std::uint32_t kCommand = 9500;

std::vector<QelStatus> g_script{QEL_OK};
std::size_t g_requests = 0;
std::vector<std::uint32_t> g_words;

QelStatus Scripted(QelMessageHeader* request) {
  const QelStatus status = g_script[std::min(g_requests, g_script.size() - 1)];
  ++g_requests;
  std::uint32_t word = 0;
  std::memcpy(&word, request + 1, sizeof word);
  g_words.push_back(word);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus allocated = QelManAllocAnswer(request, sizeof(QelMessageHeader) + 4, &answer);
      allocated != QEL_OK)
    return allocated;
  const std::uint32_t reply = word + 1;
  std::memcpy(answer + 1, &reply, sizeof reply);
  answer->command = status;
  return QelManSendAnswer(answer);
}

// 9000 and 9001 of a test server: the scripted status, and a buffer handle.
QelStatus ScriptedBuffer(QelMessageHeader* request) {
  const QelStatus status = g_script[std::min(g_requests, g_script.size() - 1)];
  ++g_requests;
  QelMessageHeader* answer = nullptr;
  if (const QelStatus allocated = QelManAllocAnswer(request, sizeof(QelMessageHeader) + sizeof(QelHandle), &answer);
      allocated != QEL_OK)
    return allocated;
  QelHandle handle{};
  handle.server = 0x12345678;
  handle.record = 1;
  handle.tag = kQelTagBuffer;
  std::memcpy(answer + 1, &handle, sizeof handle);
  answer->command = status;
  return QelManSendAnswer(answer);
}

QelHandle* g_created = nullptr;

std::string Create() {
  g_requests = 0;
  const QelStatus status = QelBufferNew(HostGetLocalServerHandle(), 8, 8, 0x01010800, 0, &g_created);
  return "create " + std::to_string(status) + " " + std::to_string(g_created != nullptr ? 1 : 0) + " " +
         std::to_string(g_created != nullptr ? g_created->server : 0);
}

std::string Free() {
  g_requests = 0;
  const QelStatus status = QelBufferFree(g_created);
  // A failed free leaves the client block as it was.
  const bool usable = status != QEL_OK && g_created->tag == kQelTagBuffer;
  if (status == QEL_OK) g_created = nullptr;
  return "free " + std::to_string(status) + " " + std::to_string(usable ? 1 : 0);
}

void FillWord(const void* context, QelMessageHeader* request) {
  std::memcpy(request + 1, context, sizeof(std::uint32_t));
}

QelStatus ReadWord(void* context, const QelMessageHeader* answer) {
  std::memcpy(context, answer + 1, sizeof(std::uint32_t));
  return QEL_OK;
}

std::string Call(std::istringstream& in) {
  const bool busyRetry = helper::Number(in) != 0;
  const std::uint32_t timeout = helper::Number(in);
  g_requests = 0;
  g_words.clear();
  const std::uint32_t sent = 41;
  std::uint32_t received = 0;
  const QelCapiCall call{HostGetLocalAddress(), kCommand, sizeof(QelMessageHeader) + 4, busyRetry, timeout,
                         FillWord, &sent, ReadWord, &received};
  const QelStatus status = QelCapiExchange(call);
  std::string line = "call " + std::to_string(status) + " " + std::to_string(g_requests) + " " +
                     std::to_string(received);
  for (std::uint32_t word : g_words) line += " " + std::to_string(word);
  return line;
}

std::string Events() {
  if (!ApiLock()) return "events nolock";
  plat::Handle event = plat::kNullHandle;
  const QelStatus status = QelManGetEvent(&event);
  if (status == QEL_OK) QelManReleaseEvent(event);
  ApiUnlock();
  return "events " + std::to_string(status);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "script") {
    g_script.clear();
    std::string word;
    while (in >> word) g_script.push_back(static_cast<QelStatus>(std::stoul(word, nullptr, 0)));
    if (g_script.empty()) g_script.push_back(QEL_OK);
    return "script";
  }
  if (command == "call") return Call(in);
  if (command == "events") return Events();
  if (command == "create") return Create();
  if (command == "free") return Free();
  return "unknown " + command;
}

}  // namespace

int main() {
  if (!StartAsSdkHost()) return 1;
  static const QelFuncHandler table[1] = {Scripted};
  HostFuncHandler* token = nullptr;
  if (QelManNewFuncHandler(kCommand, kCommand, table, &token) != QEL_OK) return 1;
  static const QelFuncHandler buffers[2] = {ScriptedBuffer, ScriptedBuffer};
  HostFuncHandler* buffersToken = nullptr;
  if (QelManNewFuncHandler(9000, 9001, buffers, &buffersToken) != QEL_OK) return 1;
  return helper::Serve(Run);
}
