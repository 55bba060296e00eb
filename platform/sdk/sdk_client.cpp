// The client side: opening the SDK in a process (with its modules), requests
// and their answers, connect, internal commands, settings, the process id.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/sdk/sdk_internal.h"
#include "platform/win/errors.h"
#include "platform/win/library.h"
#include "platform/win/machine.h"
#include "platform/win/registry.h"

namespace qelapi::sdk {

namespace {

constexpr std::uint32_t kSettingDefaults[kSettingCount] = {0, 128, 4, 15, 1024, 15};
constexpr const char* kSettingNames[kSettingCount] = {
    "Memory Top Down Allocation", "Messaging Fifo Size",  "Messaging Number Of Threads",
    "Messaging Thread Priority",  "Callback Fifo Size",   "Callback Thread Priority"};
constexpr std::uint32_t kCommTimeoutMs = 10000;

struct Module {
  plat::ModuleHandle handle;
  QelVkmControl control;
  std::string name;
};

std::vector<Module>& modules() {
  static auto* list = new std::vector<Module>;
  return *list;
}

std::vector<std::string> configured_modules() {
  std::vector<std::string> names;
  plat::RegistryKey* key = nullptr;
  if (plat::reg_open_key(plat::RegistryRoot::kLocalMachine, kModulesKey, &key) != plat::kErrorSuccess) return names;
  for (std::uint32_t i = 0;; ++i) {
    char name[256];
    char data[512];
    std::uint32_t name_size = sizeof name, data_size = sizeof data, type = 0;
    std::uint32_t r = plat::reg_enum_value(key, i, name, &name_size, &type, data, &data_size);
    if (r == plat::kErrorNoMoreItems) break;
    if (r == plat::kErrorSuccess && type == plat::kRegSz && data_size > 1) names.emplace_back(data);
  }
  plat::reg_close_key(key);
  return names;
}

void open_module(const std::string& name) {
  std::string path = plat::system_dir() + "/" + name;
  plat::ModuleHandle handle = plat::load_library(path.c_str());
  auto get_control = handle ? reinterpret_cast<QelVkmGetControlFn>(plat::get_proc_address(handle, "QelVkmGetControl"))
                            : nullptr;
  QelVkmControl control{};
  if (get_control == nullptr || get_control(&control, sizeof control) != 0 || control.open == nullptr ||
      control.close == nullptr) {
    log_line(0, __LINE__, "QelManOpen => module \"" + name + "\" has no control table");
    if (handle) plat::free_library(handle);
    return;
  }
  std::uint32_t status = control.open();
  if (status != 0) {
    log_line(0, __LINE__, "QelManOpen => module \"" + name + "\" open failed (" + std::to_string(status) + ")");
    plat::free_library(handle);
    return;
  }
  modules().push_back(Module{handle, control, name});
}

void close_modules() {
  auto& list = modules();
  while (!list.empty()) {
    Module m = list.back();
    list.pop_back();
    m.control.close();
    plat::free_library(m.handle);
  }
}

void remove_own_servers() {
  TableGuard guard;
  if (!guard.held()) return;
  plat::ProcessIdentity me = plat::current_process();
  for (ServerEntry& s : tables()->servers)
    if (s.in_use && same_process(s.owner, me)) std::memset(&s, 0, sizeof s);
}

// Whether the destination lives in another process, and which.
bool remote_peer(std::uint32_t destination, plat::ProcessIdentity* peer) {
  if ((destination & 0xFFFFFF) == 0) return false;
  if (QelManGetLocalServerForVkm() != 0 && port_of_address(destination) == kModulePort) return false;
  bool available = false;
  return find_server_by_address(destination, peer, &available) && !same_process(*peer, plat::current_process());
}

}  // namespace

std::uint32_t read_setting(std::uint32_t id) {
  if (id >= kSettingCount) return 0;
  std::uint32_t value = kSettingDefaults[id];
  plat::RegistryKey* key = nullptr;
  if (plat::reg_open_key(plat::RegistryRoot::kLocalMachine, kSettingsKey, &key) == plat::kErrorSuccess) {
    std::uint32_t stored = 0, type = 0, size = sizeof stored;
    if (plat::reg_query_value(key, kSettingNames[id], &type, &stored, &size) == plat::kErrorSuccess &&
        type == plat::kRegDword && size == sizeof stored)
      value = stored;
    plat::reg_close_key(key);
  }
  return value;
}

}  // namespace qelapi::sdk

using namespace qelapi;
using namespace qelapi::sdk;

QELAPI_EXPORT std::uint32_t QelManOpen() {
  Process& p = process();
  {
    std::lock_guard guard(p.mutex);
    if (p.open_count++ > 0) return kSdkOk;
  }
  if (!bind_memory_library() || !ensure_delivery()) {
    std::lock_guard guard(p.mutex);
    --p.open_count;
    return kSdkFailed;
  }
  for (const std::string& name : configured_modules()) open_module(name);
  // A client may end without closing: its SDK threads are stopped at exit.
  // Registered again once the modules are open, the stop also runs before the
  // destructors of the modules' statics, which the threads' handlers use.
  [[maybe_unused]] static const bool stopped_at_exit = std::atexit(stop_delivery) == 0;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManClose() {
  Process& p = process();
  {
    std::lock_guard guard(p.mutex);
    if (p.open_count == 0) return kSdkNotOpen;
    if (--p.open_count > 0) return kSdkOk;
  }
  // No SDK thread may be inside a module while it closes and unloads.
  stop_delivery();
  close_modules();
  remove_own_servers();
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManGetSetting(std::uint32_t id, void* value, std::uint32_t size) {
  if (value == nullptr || size != 4) return kSdkBadArgument;
  if (id >= kSettingCount) return kSdkOutOfRange;
  std::uint32_t v = read_setting(id);
  std::memcpy(value, &v, sizeof v);
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManGetProcessID() { return static_cast<std::uint32_t>(plat::current_process().pid); }

QELAPI_EXPORT std::uint32_t QelManAllocRequest(const QelServerHandle* server, std::uint32_t command,
                                               std::uint32_t payload_size, void** request) {
  if (server == nullptr || request == nullptr || server->tag != kServerTag || payload_size < sizeof *server ||
      payload_size > 0x7FFFFFFF - sizeof(QelSdkMessageHeader))
    return kSdkBadArgument;
  void* message = alloc_message(static_cast<std::uint32_t>(sizeof(QelSdkMessageHeader) + payload_size));
  if (message == nullptr) return kSdkNoMemory;
  QelSdkMessageHeader* h = header(message);
  h->source = kClientAddress;
  h->destination = server->address;
  h->command = command;
  std::memcpy(static_cast<std::byte*>(message) + sizeof *h, server, sizeof *server);
  *request = message;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManSendRequest(void* request, std::uint32_t timeout_ms, void** answer) {
  if (answer == nullptr || !valid_message(request)) return kSdkBadArgument;
  *answer = nullptr;
  if (!ensure_delivery()) {
    free_message(request);
    return kSdkFailed;
  }
  QelSdkMessageHeader* h = header(request);
  h->flags &= ~(kMessageIsAnswer | kMessageNoAnswer);
  if (h->source == 0) h->source = kClientAddress;
  std::uint32_t id = new_transaction();
  if (id == 0) {
    free_message(request);
    return kSdkNoMemory;
  }
  h->transaction = id;
  Process& p = process();
  Waiter waiter;
  bool remote = remote_peer(h->destination, &waiter.peer);
  {
    std::lock_guard guard(p.mutex);
    p.waiters[id] = &waiter;
  }
  // Nobody waits holding the manager lock: the answer's road may need it.
  std::uint32_t depth = QelManUnlockThread(1);
  std::uint32_t status = route(request);
  {
    std::unique_lock guard(p.mutex);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (status == kSdkOk && waiter.answer == nullptr) {
      if (std::chrono::steady_clock::now() >= deadline) {
        status = kSdkTimeout;
        break;
      }
      auto next = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
      waiter.ready.wait_until(guard, next);
      // A server whose process died will never answer.
      if (waiter.answer == nullptr && remote && !plat::is_process_alive(waiter.peer)) status = kSdkTimeout;
    }
    p.waiters.erase(id);
    *answer = waiter.answer;
  }
  free_transaction(id);
  QelManRelockThread(depth);
  if (status != kSdkOk && *answer != nullptr) {
    free_message(*answer);
    *answer = nullptr;
  }
  return status;
}

namespace {

// Sends a request of the handle, a command and the payload after the handle;
// answers the transport's failure or the answer's status, with its payload copied.
std::uint32_t exchange(const QelServerHandle* server, std::uint32_t command, const void* payload,
                       std::uint32_t payload_size, void* out, std::uint32_t out_size) {
  void* request = nullptr;
  std::uint32_t status = QelManAllocRequest(server, command, sizeof *server + payload_size, &request);
  if (status != kSdkOk) return status;
  if (payload_size != 0)
    std::memcpy(static_cast<std::byte*>(request) + sizeof(QelSdkMessageHeader) + sizeof *server, payload, payload_size);
  void* answer = nullptr;
  status = QelManSendRequest(request, kCommTimeoutMs, &answer);
  if (status != kSdkOk) return status;
  const QelSdkMessageHeader* a = header(answer);
  status = a->command;
  if (status == kSdkOk && out != nullptr && a->size > sizeof *a)
    std::memcpy(out, static_cast<std::byte*>(answer) + sizeof *a, std::min<std::uint32_t>(out_size, a->size - sizeof *a));
  free_message(answer);
  return status;
}

}  // namespace

QELAPI_EXPORT std::uint32_t QelManConnect(const QelServerHandle* server) {
  return exchange(server, kCommandConnect, nullptr, 0, nullptr, 0);
}

QELAPI_EXPORT std::uint32_t QelManDisconnect(const QelServerHandle* server) {
  return exchange(server, kCommandDisconnect, nullptr, 0, nullptr, 0);
}

QELAPI_EXPORT std::uint32_t QelManInternalCmd(const QelServerHandle* server, std::uint32_t code, const void* input,
                                              std::uint32_t input_size, void* output, std::uint32_t output_size) {
  if ((input == nullptr && input_size != 0) || (output == nullptr && output_size != 0) || input_size > (1u << 24))
    return kSdkBadArgument;
  std::vector<std::byte> payload(12 + input_size);
  std::uint32_t words[3] = {code, input_size, output_size};
  std::memcpy(payload.data(), words, sizeof words);
  if (input_size != 0) std::memcpy(payload.data() + 12, input, input_size);
  return exchange(server, kCommandControl, payload.data(), static_cast<std::uint32_t>(payload.size()), output,
                  output_size);
}
