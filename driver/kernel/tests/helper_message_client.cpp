// A client process of the driver's message requests. Reads commands on its
// standard input, one per line, and answers one line each:
//   open                    -> "opened" or "failed <error>"
//   register TYPE           -> "status <s>" (a new event for the type's queue)
//   route B INDEX KIND BITS -> "status <s>"      unroute ... likewise
//   fetch B TYPE            -> "fetch <s> <word> ..." (the record's words, hex)
//   wait TYPE MS            -> "signalled" or "timeout"
//   exit                    -> ends the process without closing anything
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/kernel/YatMessages.h"
#include "platform/win/device.h"
#include "platform/win/errors.h"
#include "platform/win/objects.h"

namespace {

plat::Handle g_device = plat::kNullHandle;
plat::Handle g_events[YAT_MSG_USER_QUEUES] = {};

void Answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::int32_t Send(std::uint32_t code, const void* input, std::uint32_t size) {
  YatIocStatus out{-1};
  std::uint32_t returned = 0;
  if (!plat::device_io_control(g_device, code, input, size, &out, sizeof out, &returned)) return -1;
  return out.status;
}

std::string Register(std::uint32_t type) {
  if (type >= YAT_MSG_USER_QUEUES) return "status -1";
  g_events[type] = plat::create_event(nullptr, false, false, nullptr);
  YatEventRegistration record{{0, 0}, type, g_events[type]};
  return "status " + std::to_string(Send(YAT_IOCTRL_REGISTER_EVENT, &record, sizeof record));
}

std::string Route(std::uint32_t code, std::istringstream& in) {
  YatEventRoute record{{YAT_IOC_TARGET_BOARD, 0}, 0, 0, 0};
  in >> record.header.boardIndex >> record.index >> record.resourceType >> std::hex >> record.eventBits;
  return "status " + std::to_string(Send(code, &record, sizeof record));
}

std::string Fetch(std::uint32_t board, std::uint32_t type) {
  std::uint32_t words[10] = {};
  YatMsgRequest record{{YAT_IOC_TARGET_BOARD, board}, type, 40, reinterpret_cast<std::uintptr_t>(words)};
  std::string line = "fetch " + std::to_string(Send(YAT_IOCTRL_GET_MESSAGE, &record, sizeof record));
  char hex[16];
  for (std::uint32_t word : words) {
    std::snprintf(hex, sizeof hex, " %x", word);
    line += hex;
  }
  return line;
}

std::string Wait(std::uint32_t type, std::uint32_t ms) {
  if (type >= YAT_MSG_USER_QUEUES || g_events[type] == plat::kNullHandle) return "timeout";
  return plat::wait_for_object(g_events[type], ms) == plat::kWaitObject0 ? "signalled" : "timeout";
}

}  // namespace

int main() {
  Answer("ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::uint32_t a = 0, b = 0;
    if (command == "open") {
      g_device = plat::open_device("\\\\.\\STAVRO");
      Answer(g_device == plat::kNullHandle ? "failed " + std::to_string(plat::last_error()) : "opened");
    } else if (command == "register" && (in >> a)) {
      Answer(Register(a));
    } else if (command == "route") {
      Answer(Route(YAT_IOCTRL_ROUTE_EVENT, in));
    } else if (command == "unroute") {
      Answer(Route(YAT_IOCTRL_UNROUTE_EVENT, in));
    } else if (command == "fetch" && (in >> a >> b)) {
      Answer(Fetch(a, b));
    } else if (command == "wait" && (in >> a >> b)) {
      Answer(Wait(a, b));
    } else if (command == "exit") {
      return 0;
    } else {
      Answer("unknown");
    }
  }
  return 0;
}
