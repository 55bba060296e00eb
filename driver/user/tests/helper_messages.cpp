// A process that loads the board library and runs its message functions, one
// command per input line, answering one line each:
//   open | close | debug LEVEL          -> the status
//   register T | unregister T           -> 1 or 0
//   clear B T | closehandles T | dispatch -> the status
//   fetch B T SIZE                      -> "<status> <word> ..." (hex words of the buffer)
//   gpio B SIZE                         -> the same for the I/O variant
//   handle T                            -> "<status> <0|1>" (1: a handle came back)
//   handlevalue T | iswaitable VALUE    -> the type's event handle | "live" or "closed"
//   route B I KIND BITS | unroute ...   -> the status
//   wait T MS                           -> "signalled" or "timeout" (the type's event)
//   exit                                -> ends the process without closing the library
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/user/Pardow.h"
#include "platform/win/objects.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;

std::string Words(QelHwStatus status, const std::uint32_t* words, std::uint32_t count) {
  std::string line = std::to_string(status);
  char hex[16];
  for (std::uint32_t i = 0; i < count; ++i) {
    std::snprintf(hex, sizeof hex, " %x", words[i]);
    line += hex;
  }
  return line;
}

std::string Run(const std::string& command, std::istringstream& in) {
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "close") return std::to_string(QelHw_Close());
  if (command == "debug") return std::to_string(Yat_Man_Debug_Level(Number(in)));
  if (command == "register") return std::to_string(Yat_Event_RegisterMsg(0, Number(in)) ? 1 : 0);
  if (command == "unregister") return std::to_string(Yat_Event_UnregisterMsg(0, Number(in)) ? 1 : 0);
  if (command == "clear") {
    const std::uint32_t board = Number(in);
    return std::to_string(Yat_Event_ClearMessageQueue(board, Number(in)));
  }
  if (command == "closehandles") return std::to_string(Yat_Event_CloseHandles(0, Number(in)));
  if (command == "dispatch") return std::to_string(Yat_Event_DispatchMessage());
  if (command == "fetch" || command == "gpio") {
    std::uint32_t words[12] = {};
    const std::uint32_t board = Number(in);
    if (command == "gpio") return Words(Yat_GPIO_GetMessage(board, words, Number(in)), words, 10);
    const std::uint32_t type = Number(in);
    return Words(Yat_Event_GetMessage(board, type, words, Number(in)), words, 10);
  }
  if (command == "handle") {
    std::uint64_t handle = 0;
    QelHwStatus status = Yat_Event_GetHandle(0, Number(in), &handle);
    return std::to_string(status) + (handle != 0 ? " 1" : " 0");
  }
  if (command == "handlevalue") {
    std::uint64_t handle = 0;
    Yat_Event_GetHandle(0, Number(in), &handle);
    return std::to_string(handle);
  }
  if (command == "iswaitable") {  // whether a handle value still names a live event
    std::string text;
    in >> text;
    const std::uint64_t handle = std::stoull(text.empty() ? "0" : text, nullptr, 0);
    return plat::wait_for_object(handle, 0) == plat::kWaitFailed ? "closed" : "live";
  }
  if (command == "route" || command == "unroute") {
    const std::uint32_t board = Number(in), index = Number(in), kind = Number(in), bits = Number(in);
    return std::to_string(command == "route" ? Yat_Event_Route(board, index, kind, bits)
                                             : Yat_Event_UnRoute(board, index, kind, bits));
  }
  if (command == "wait") {
    std::uint64_t handle = 0;
    const std::uint32_t type = Number(in), ms = Number(in);
    if (Yat_Event_GetHandle(0, type, &handle) != QELHW_OK) return "timeout";
    return plat::wait_for_object(handle, ms) == plat::kWaitObject0 ? "signalled" : "timeout";
  }
  return "unknown";
}

}  // namespace

int main() {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "exit") return 0;
    std::printf("%s\n", Run(command, in).c_str());
    std::fflush(stdout);
  }
  return 0;
}
