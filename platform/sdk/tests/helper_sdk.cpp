// A process that uses the SDK as a client does: "QelApi.dll" loaded by name,
// entries by name, driven line by line on its standard input:
//   open | close             -> "open <status>" | "close <status>"
//   find <name>              -> "found <status> <address>"
//   count                    -> "count <status> <servers>"
//   call <name> <cmd> <text> -> "answer <send status> <answer status> <answer text>"
//   callbacks                -> installs command 500 of its own server: prints "callback <text>"
//   lock | unlock | holder   -> "lock <r>" | "unlock <r>" | "holder <thread id>"
//   tid                      -> "tid <thread id of the command thread>"
//   connect <name>           -> "connect <status>"
//   ranges                   -> overlapping command ranges of its own server, then
//                               requests 100, 103, 105, 200 to it: "ranges <4 results>"
//   depth                    -> the manager lock taken 3 deep, released whole and retaken
//   setting <id>             -> "setting <status> <value>"
//   internal <name> <code> <text> -> "internal <status> <output>"
//   index <i>                -> "index <status> <name> <address>"
//   publish <name> <address> -> a server of its own (an echo on port byte 2 of the address)
//   hide <name> <address>    -> "hide <status>": the server is not available any more
//   misc                     -> "misc <process id right> <contiguous buffer status> <free status>"
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/sdk/qelapi.h"
#include "platform/win/library.h"
#include "platform/win/process.h"

using namespace qelapi;

namespace {

plat::ModuleHandle module;

template <typename Fn>
Fn entry(const char* name) {
  return reinterpret_cast<Fn>(plat::get_proc_address(module, name));
}

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::uint32_t on_callback(void* message) {
  auto* h = static_cast<QelSdkMessageHeader*>(message);
  say("callback " + std::string(reinterpret_cast<const char*>(h + 1), strnlen(reinterpret_cast<const char*>(h + 1), h->size - sizeof *h)));
  entry<QelManFreeMessageFn>("QelManFreeMessage")(message);
  return kSdkOk;
}

std::string call(const std::string& name, std::uint32_t command, const std::string& text) {
  QelServerHandle server{};
  std::uint32_t status = entry<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  void* request = nullptr;
  status = entry<QelManAllocRequestFn>("QelManAllocRequest")(&server, command,
                                                             static_cast<std::uint32_t>(sizeof server + text.size() + 1), &request);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  std::memcpy(static_cast<char*>(request) + sizeof(QelSdkMessageHeader) + sizeof server, text.c_str(), text.size() + 1);
  void* answer = nullptr;
  status = entry<QelManSendRequestFn>("QelManSendRequest")(request, 20000, &answer);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  auto* h = static_cast<QelSdkMessageHeader*>(answer);
  std::string reply = h->size > sizeof *h ? std::string(reinterpret_cast<const char*>(h + 1)) : "";
  std::string result = "0 " + std::to_string(h->command) + " " + reply;
  entry<QelManFreeMessageFn>("QelManFreeMessage")(answer);
  return result;
}

std::uint32_t answer_text(void* request, const char* text) {
  void* reply = nullptr;
  std::uint32_t status = entry<QelManAllocAnswerFn>("QelManAllocAnswer")(
      request, static_cast<std::uint32_t>(sizeof(QelSdkMessageHeader) + std::strlen(text) + 1), &reply);
  if (status != kSdkOk) return status;
  std::strcpy(static_cast<char*>(reply) + sizeof(QelSdkMessageHeader), text);
  entry<QelManFreeMessageFn>("QelManFreeMessage")(request);
  entry<QelManSendAnswerFn>("QelManSendAnswer")(reply);
  return kSdkOk;
}

std::uint32_t older_range(void* request) { return answer_text(request, "older"); }
std::uint32_t newer_range(void* request) { return answer_text(request, "newer"); }

// A request to this process's own server: its answer's text, or its status.
std::string ask_own_server(std::uint32_t command) {
  void* request = nullptr;
  if (entry<QelManAllocMessageFn>("QelManAllocMessage")(sizeof(QelSdkMessageHeader), &request) != kSdkOk) return "nomem";
  auto* h = static_cast<QelSdkMessageHeader*>(request);
  h->destination = entry<QelManGetLocalServerFn>("QelManGetLocalServer")();
  h->command = command;
  void* answer = nullptr;
  std::uint32_t status = entry<QelManSendRequestFn>("QelManSendRequest")(request, 5000, &answer);
  if (status != kSdkOk) return "send" + std::to_string(status);
  auto* a = static_cast<QelSdkMessageHeader*>(answer);
  std::string result = a->size > sizeof *a ? std::string(reinterpret_cast<const char*>(a + 1)) : std::to_string(a->command);
  entry<QelManFreeMessageFn>("QelManFreeMessage")(answer);
  return result;
}

std::uint32_t echo(void* request) {
  auto* h = static_cast<QelSdkMessageHeader*>(request);
  std::string text = "echo " + std::to_string(h->command);
  return answer_text(request, text.c_str());
}

std::string ranges() {
  QelCommandHandler older[10] = {};
  older[0] = older_range;
  older[3] = older_range;
  QelCommandHandler newer[2] = {newer_range, newer_range};
  void* first = nullptr;
  void* second = nullptr;
  auto install = entry<QelManInstallHandlersFn>("QelManInstallHandlers");
  if (install(100, 109, older, &first) != kSdkOk || install(103, 104, newer, &second) != kSdkOk) return "install";
  std::string result;
  for (std::uint32_t command : {100u, 103u, 105u, 200u}) result += " " + ask_own_server(command);
  entry<QelManRemoveHandlersFn>("QelManRemoveHandlers")(second);
  result += " " + ask_own_server(103);  // the older range again
  entry<QelManRemoveHandlersFn>("QelManRemoveHandlers")(first);
  return result;
}

std::string depth() {
  auto lock = entry<QelManLockFn>("QelManLock");
  auto unlock = entry<QelManUnlockFn>("QelManUnlock");
  auto holder = entry<QelManGetAPILockerFn>("QelManGetAPILocker");
  std::uint32_t me = plat::current_thread_id();
  std::string r;
  r += std::to_string(lock() && lock() && lock());
  r += " " + std::to_string(holder() == me);
  r += " " + std::to_string(entry<QelManUnlockThreadFn>("QelManUnlockThread")(1));
  r += " " + std::to_string(holder());
  r += " " + std::to_string(entry<QelManRelockThreadFn>("QelManRelockThread")(3));
  r += " " + std::to_string(holder() == me);
  r += " " + std::to_string(unlock() + unlock() + unlock());
  r += " " + std::to_string(holder());
  r += " " + std::to_string(unlock());
  return r;
}

}  // namespace

int main() {
  module = plat::load_library(kLibraryName);
  if (module == nullptr) return 1;
  say("ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") {
      say("open " + std::to_string(entry<QelManOpenFn>("QelManOpen")()));
    } else if (command == "close") {
      say("close " + std::to_string(entry<QelManCloseFn>("QelManClose")()));
    } else if (command == "find") {
      std::string name;
      in >> name;
      QelServerHandle server{};
      std::uint32_t status = entry<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
      say("found " + std::to_string(status) + " " + std::to_string(server.address));
    } else if (command == "count") {
      std::uint32_t count = 0;
      std::uint32_t status = entry<QelManGetServerCountFn>("QelManGetServerCount")(&count);
      say("count " + std::to_string(status) + " " + std::to_string(count));
    } else if (command == "call") {
      std::string name, text;
      std::uint32_t id = 0;
      in >> name >> id;
      std::getline(in >> std::ws, text);
      say("answer " + call(name, id, text));
    } else if (command == "callbacks") {
      static const QelCommandHandler table[] = {on_callback};
      void* token = nullptr;
      say("callbacks " + std::to_string(entry<QelManInstallHandlersFn>("QelManInstallHandlers")(500, 500, table, &token)));
    } else if (command == "lock") {
      say("lock " + std::to_string(entry<QelManLockFn>("QelManLock")()));
    } else if (command == "unlock") {
      say("unlock " + std::to_string(entry<QelManUnlockFn>("QelManUnlock")()));
    } else if (command == "holder") {
      say("holder " + std::to_string(entry<QelManGetAPILockerFn>("QelManGetAPILocker")()));
    } else if (command == "tid") {
      say("tid " + std::to_string(plat::current_thread_id()));
    } else if (command == "connect") {
      std::string name;
      in >> name;
      QelServerHandle server{};
      std::uint32_t status = entry<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
      if (status == kSdkOk) status = entry<QelManConnectFn>("QelManConnect")(&server);
      say("connect " + std::to_string(status));
    } else if (command == "ranges") {
      say("ranges" + ranges());
    } else if (command == "depth") {
      say("depth " + depth());
    } else if (command == "setting") {
      std::uint32_t id = 0, value = 0;
      in >> id;
      std::uint32_t status = entry<QelManGetSettingFn>("QelManGetSetting")(id, &value, 4);
      say("setting " + std::to_string(status) + " " + std::to_string(value));
    } else if (command == "internal") {
      std::string name, text;
      std::uint32_t code = 0;
      in >> name >> code >> text;
      QelServerHandle server{};
      char output[64] = {};
      std::uint32_t status = entry<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
      if (status == kSdkOk)
        status = entry<QelManInternalCmdFn>("QelManInternalCmd")(&server, code, text.data(),
                                                                 static_cast<std::uint32_t>(text.size()), output,
                                                                 sizeof output - 1);
      say("internal " + std::to_string(status) + " " + output);
    } else if (command == "index") {
      std::uint32_t index = 0;
      in >> index;
      char name[kServerNameSize] = {};
      QelServerHandle server{};
      std::uint32_t status = entry<QelManGetServerByIndexFn>("QelManGetServerByIndex")(index, name, &server);
      say("index " + std::to_string(status) + " " + name + " " + std::to_string(server.address));
    } else if (command == "publish" || command == "hide") {
      std::string name;
      std::uint32_t address = 0;
      in >> name >> address;
      std::uint32_t port = port_of_address(address);
      std::uint32_t status = kSdkOk;
      if (command == "publish") {
        status = entry<QelManInstallPortServerFn>("QelManInstallPortServer")(port, echo, 0);
        if (status == kSdkOk) status = entry<QelManNewPortFn>("QelManNewPort")(port, port);
        if (status == kSdkOk) status = entry<QelManAddServerToDatabaseFn>("QelManAddServerToDatabase")(name.c_str(), address);
      } else {
        status = entry<QelManSetServerAccessibleFn>("QelManSetServerAccessible")(name.c_str(), address, 0);
      }
      say(command + " " + std::to_string(status));
    } else if (command == "misc") {
      qelmem::QelMemContigBuffer buffer{};
      bool pid_right = entry<QelManGetProcessIDFn>("QelManGetProcessID")() == static_cast<std::uint32_t>(plat::current_process().pid);
      std::uint32_t alloc = entry<QelManAllocContigBufferExFn>("QelManAllocContigBufferEx")(8192, 0, 0, 0, &buffer);
      std::uint32_t freed = entry<QelManFreeContigBufferFn>("QelManFreeContigBuffer")(reinterpret_cast<void*>(buffer.user_address));
      say("misc " + std::to_string(pid_right) + " " + std::to_string(alloc) + " " + std::to_string(freed));
    } else if (command == "exit") {
      break;
    }
  }
  return 0;
}
