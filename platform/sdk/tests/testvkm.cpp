// A small device-control module for the SDK's tests ("TestVkm.VKM"): opened by
// the SDK through its control table, it binds the SDK already in the process,
// installs port server 62 with port 222 and publishes one server per board of
// the address plan. Its handler answers:
//   1  echo: "pid <process id> <text of the request>"
//   2  blocks (manager lock released, the file "<machine>/blocked" made) until
//      the file "<machine>/release" exists
//   3  sends the client a callback (command 500 with the request's text) first
//   1013 / 1014  connect / disconnect: answered 0
//   1006 internal command: answers its code and input as "<code>:<input>"
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/sdk/qelapi.h"
#include "platform/win/library.h"
#include "platform/win/machine.h"

using namespace qelapi;

namespace {

struct Sdk {
  QelManLockFn lock;
  QelManUnlockFn unlock;
  QelManUnlockThreadFn unlock_thread;
  QelManRelockThreadFn relock_thread;
  QelManInstallPortServerFn install_port_server;
  QelManUninstallPortServerFn uninstall_port_server;
  QelManNewPortFn new_port;
  QelManFreePortFn free_port;
  QelManGetPortAddressFn get_port_address;
  QelManAddServerToDatabaseFn add_server;
  QelManAllocAnswerFn alloc_answer;
  QelManAllocMessageFn alloc_message;
  QelManFreeMessageFn free_message;
  QelManSendAnswerFn send_answer;
} sdk;

template <typename Fn>
bool bind(plat::ModuleHandle module, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(plat::get_proc_address(module, name));
  return *out != nullptr;
}

bool bind_sdk() {
  plat::ModuleHandle m = plat::find_loaded_library(kLibraryName);
  return m && bind(m, "QelManLock", &sdk.lock) && bind(m, "QelManUnlock", &sdk.unlock) &&
         bind(m, "QelManUnlockThread", &sdk.unlock_thread) && bind(m, "QelManRelockThread", &sdk.relock_thread) &&
         bind(m, "QelManInstallPortServer", &sdk.install_port_server) &&
         bind(m, "QelManUninstallPortServer", &sdk.uninstall_port_server) && bind(m, "QelManNewPort", &sdk.new_port) &&
         bind(m, "QelManFreePort", &sdk.free_port) && bind(m, "QelManGetPortAddress", &sdk.get_port_address) &&
         bind(m, "QelManAddServerToDatabase", &sdk.add_server) && bind(m, "QelManAllocAnswer", &sdk.alloc_answer) &&
         bind(m, "QelManAllocMessage", &sdk.alloc_message) && bind(m, "QelManFreeMessage", &sdk.free_message) &&
         bind(m, "QelManSendAnswer", &sdk.send_answer);
}

std::string text_of(void* message) {
  auto* h = static_cast<QelSdkMessageHeader*>(message);
  std::size_t offset = sizeof *h + sizeof(QelServerHandle);
  if (h->size <= offset) return "";
  const char* text = static_cast<const char*>(message) + offset;
  return std::string(text, strnlen(text, h->size - offset));
}

// Takes the request over: answered, or left to the SDK when no answer can be made.
std::uint32_t answer(void* request, const std::string& text) {
  void* reply = nullptr;
  std::uint32_t status =
      sdk.alloc_answer(request, static_cast<std::uint32_t>(sizeof(QelSdkMessageHeader) + text.size() + 1), &reply);
  if (status != kSdkOk) return status;
  std::memcpy(static_cast<char*>(reply) + sizeof(QelSdkMessageHeader), text.c_str(), text.size() + 1);
  sdk.free_message(request);
  sdk.send_answer(reply);
  return kSdkOk;
}

void send_callback(const QelSdkMessageHeader& request, const std::string& text) {
  void* callback = nullptr;
  if (sdk.alloc_message(static_cast<std::uint32_t>(sizeof(QelSdkMessageHeader) + text.size() + 1), &callback) != kSdkOk)
    return;
  auto* h = static_cast<QelSdkMessageHeader*>(callback);
  h->transaction = request.transaction;  // names the client's process
  h->flags = kMessageNoAnswer;
  h->source = request.destination;
  h->destination = kClientAddress;
  h->command = 500;
  std::memcpy(h + 1, text.c_str(), text.size() + 1);
  sdk.send_answer(callback);
}

std::uint32_t on_message(void* message) {
  auto* h = static_cast<QelSdkMessageHeader*>(message);
  if (h->flags & kMessageIsAnswer) {
    sdk.free_message(message);
    return kSdkOk;
  }
  switch (h->command) {
    case 1:
      return answer(message, "pid " + std::to_string(::getpid()) + " " + text_of(message));
    case 2: {
      std::uint32_t depth = sdk.unlock_thread(1);
      std::fclose(std::fopen((plat::machine_dir() + "/blocked").c_str(), "w"));
      std::string release = plat::machine_dir() + "/release";
      for (int i = 0; i < 1000 && ::access(release.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      sdk.relock_thread(depth);
      return answer(message, "released");
    }
    case 3:
      send_callback(*h, text_of(message));
      return answer(message, "called back");
    case kCommandConnect:
    case kCommandDisconnect:
      return answer(message, "");
    case kCommandControl: {
      // handle, code, input size, output size, input
      const char* payload = static_cast<const char*>(message) + sizeof *h + sizeof(QelServerHandle);
      std::uint32_t words[3];
      if (h->size < sizeof *h + sizeof(QelServerHandle) + sizeof words) return kSdkBadArgument;
      std::memcpy(words, payload, sizeof words);
      if (words[1] > h->size - sizeof *h - sizeof(QelServerHandle) - sizeof words) return kSdkBadArgument;
      return answer(message, std::to_string(words[0]) + ":" + std::string(payload + sizeof words, words[1]));
    }
    default:
      return kSdkNoHandler;
  }
}

std::uint32_t open_module() {
  if (!bind_sdk() || !sdk.lock()) return kSdkFailed;
  std::uint32_t status = sdk.install_port_server(62, on_message, 0);
  if (status == kSdkOk) status = sdk.new_port(kModulePort, 62);
  std::uint32_t address = 0;
  if (status == kSdkOk) status = sdk.get_port_address(kModulePort, &address);
  if (status == kSdkOk && address != kModulePortAddress) status = kSdkFailed;
  for (std::uint32_t board = 0; status == kSdkOk && board < 2; ++board) {
    std::string name = kBoardServerPrefix + std::to_string(board + 1);
    status = sdk.add_server(name.c_str(), (address & 0xFFFFFF) | ((board + 1) << 8) | 0x1000000);
  }
  sdk.unlock();
  return status;
}

std::uint32_t close_module() {
  if (!sdk.lock) return kSdkOk;
  sdk.lock();
  sdk.free_port(kModulePort);
  sdk.uninstall_port_server(62);
  sdk.unlock();
  return kSdkOk;
}

std::uint32_t open_with_mode(std::uint32_t) { return open_module(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t QelVkmGetControl(void* table, std::uint32_t size) {
  if (table == nullptr) return kSdkBadArgument;
  std::memset(table, 0, size);
  QelVkmControl control{open_module, close_module, open_with_mode};
  std::memcpy(table, &control, std::min<std::size_t>(size, sizeof control));
  return 0;
}
