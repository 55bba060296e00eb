// A client process that sets up a transfer with two locked host buffers and
// then waits to be killed. Commands on its standard input, one per line:
//   build [BOARD]   -> "built <status>" (the BH part's status; board 0 by default)
//   start           -> "started <status>"
//   destroy         -> "destroyed <status>"
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "driver/kernel/tests/transfer_setup.h"
#include "platform/win/device.h"

int main() {
  std::printf("ready\n");
  std::fflush(stdout);
  plat::Handle device = plat::kNullHandle;
  std::unique_ptr<transfer_test::TransferSetup> setup;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "build") {
      std::uint32_t board = 0;
      in >> board;
      if (device == plat::kNullHandle) device = plat::open_device("\\\\.\\STAVRO");
      setup = std::make_unique<transfer_test::TransferSetup>(device, false, board);
      const transfer_test::Frame frame;
      std::int32_t status = setup->Create();
      setup->MakeBuffers(frame, 2);
      if (status == 0) status = setup->SetBh(frame, 0);
      std::printf("built %d\n", status);
    } else if (command == "start" && setup) {
      std::printf("started %d\n", setup->Command(YAT_IOCTRL_START_AUTO_XFER));
    } else if (command == "destroy" && setup) {
      std::printf("destroyed %d\n", setup->Destroy());
    } else {
      std::printf("unknown\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
