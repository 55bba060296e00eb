// A client process of the driver for the multi-process tests. Reads commands
// on its standard input, one per line, and answers one line each:
//   open NAME   -> "opened" or "failed <error>"  (keeps the handle)
//   close       -> "closed" (the most recent handle still open)
//   abi         -> "abi <status> <version>" (on the most recent handle)
//   exit        -> ends the process without closing anything
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "platform/win/device.h"
#include "platform/win/errors.h"

namespace {

void Answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string AskAbi(plat::Handle device) {
  YatIocAbiVersionOut out{};
  std::uint32_t returned = 0;
  if (!plat::device_io_control(device, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, &out, sizeof out, &returned))
    return "failed " + std::to_string(plat::last_error());
  return "abi " + std::to_string(out.header.status) + " " + std::to_string(out.version);
}

}  // namespace

int main() {
  std::vector<plat::Handle> handles;
  Answer("ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.rfind("open ", 0) == 0) {
      plat::Handle device = plat::open_device(line.substr(5).c_str());
      if (device == plat::kNullHandle) {
        Answer("failed " + std::to_string(plat::last_error()));
      } else {
        handles.push_back(device);
        Answer("opened");
      }
    } else if (line == "close" && !handles.empty()) {
      plat::close_device(handles.back());
      handles.pop_back();
      Answer("closed");
    } else if (line == "abi" && !handles.empty()) {
      Answer(AskAbi(handles.back()));
    } else if (line == "exit") {
      return 0;
    } else {
      Answer("unknown");
    }
  }
  return 0;
}
