// A client process that holds on-board memory, for the reclaim tests. Opens
// the control device at start and answers one line per command:
//   alloc REGION SIZE -> "alloc <status> <address>" (board 0, bank 0)
//   exit              -> ends the process without closing anything
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/kernel/YatIoctl.h"
#include "platform/win/device.h"

int main() {
  plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  std::printf("%s\n", device == plat::kNullHandle ? "failed" : "ready");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "alloc") {
      YatIocAllocFpgaMemIn in{{YAT_IOC_TARGET_BOARD, 0}, 0, 0, 0};
      words >> in.region >> in.size;
      YatIocAllocFpgaMemOut out{};
      std::uint32_t returned = 0;
      plat::device_io_control(device, YAT_IOCTRL_ALLOC_FPGA_MEM, &in, sizeof in, &out, sizeof out, &returned);
      std::printf("alloc %d %u\n", out.header.status, out.address);
    } else if (command == "exit") {
      return 0;
    } else {
      std::printf("unknown\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
