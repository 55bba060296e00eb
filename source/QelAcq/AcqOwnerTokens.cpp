#include "source/QelAcq/AcqOwnerTokens.h"

#include <mutex>
#include <unordered_map>

#include "platform/win/process.h"

namespace {

struct TokenTable {
  std::mutex lock;
  AcqToken last = 0;
  std::unordered_map<AcqToken, std::uint64_t> values;
};

TokenTable& Tokens() {
  static TokenTable table;
  return table;
}

}  // namespace

AcqOwnerTag AcqOwnerTagOfThisProcess() {
  const plat::ProcessIdentity self = plat::current_process();
  return AcqOwnerTag{self.pid, 0, self.start_time};
}

// An unowned tag is answered before this process's identity is read: its
// start time comes from the system on every call.
bool AcqOwnerTagIsThisProcess(const AcqOwnerTag& tag) {
  if (tag.processId == 0) return false;
  const AcqOwnerTag self = AcqOwnerTagOfThisProcess();
  return tag.processId == self.processId && tag.startTime == self.startTime;
}

bool AcqOwnerTagIsLive(const AcqOwnerTag& tag) {
  return tag.processId != 0 && plat::is_process_alive(plat::ProcessIdentity{tag.processId, 0, tag.startTime});
}

AcqToken AcqIssueToken(std::uint64_t localValue) {
  TokenTable& table = Tokens();
  std::lock_guard<std::mutex> guard(table.lock);
  const AcqToken token = ++table.last;
  table.values[token] = localValue;
  return token;
}

bool AcqResolveToken(const AcqOwnerTag& issuer, AcqToken token, std::uint64_t* localValue) {
  if (token == 0 || localValue == nullptr || !AcqOwnerTagIsThisProcess(issuer)) return false;
  TokenTable& table = Tokens();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.values.find(token);
  if (found == table.values.end()) return false;
  *localValue = found->second;
  return true;
}

void AcqRetireToken(AcqToken token) {
  TokenTable& table = Tokens();
  std::lock_guard<std::mutex> guard(table.lock);
  table.values.erase(token);
}
