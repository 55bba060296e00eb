// A client process of the driver's acquisition channel requests. Reads
// commands on its standard input, one per line, and answers one line each:
//   open                    -> "opened" or "failed <error>"
//   start B C               -> "status <s>"   (claims channel C of board B)
//   abort B C               -> "status <s>"
//   route B C BITS          -> "status <s>"   (channel C's events as messages, hex bits)
//   close                   -> "closed"       (the device handle, answered once the driver is done)
//   exit                    -> ends the process without closing anything
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/YatMessages.h"
#include "platform/win/device.h"
#include "platform/win/errors.h"

namespace {

plat::Handle g_device = plat::kNullHandle;

void Answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Send(std::uint32_t code, const void* input, std::uint32_t size) {
  YatIocStatus out{-1};
  std::uint32_t returned = 0;
  if (!plat::device_io_control(g_device, code, input, size, &out, sizeof out, &returned)) return "status -1";
  return "status " + std::to_string(out.status);
}

std::string Channel(std::uint32_t code, std::istringstream& in) {
  YatIocValueIn record{{YAT_IOC_TARGET_BOARD, 0}, 0};
  if (!(in >> record.header.boardIndex >> record.value)) return "unknown";
  return Send(code, &record, sizeof record);
}

std::string Route(std::istringstream& in) {
  YatEventRoute record{{YAT_IOC_TARGET_BOARD, 0}, 0, YAT_ROUTE_CHANNEL, 0};
  if (!(in >> record.header.boardIndex >> record.index >> std::hex >> record.eventBits)) return "unknown";
  return Send(YAT_IOCTRL_ROUTE_EVENT, &record, sizeof record);
}

}  // namespace

int main() {
  Answer("ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") {
      g_device = plat::open_device("\\\\.\\STAVRO");
      Answer(g_device == plat::kNullHandle ? "failed " + std::to_string(plat::last_error()) : "opened");
    } else if (command == "start") {
      Answer(Channel(YAT_IOCTRL_KERNEL_ACQ_START, in));
    } else if (command == "abort") {
      Answer(Channel(YAT_IOCTRL_KERNEL_ACQ_ABORT, in));
    } else if (command == "route") {
      Answer(Route(in));
    } else if (command == "close") {
      plat::close_device(g_device);
      g_device = plat::kNullHandle;
      Answer("closed");
    } else if (command == "exit") {
      return 0;
    } else {
      Answer("unknown");
    }
  }
  return 0;
}
