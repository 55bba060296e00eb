// A client process that sets up a transfer with two locked host buffers and
// then waits to be killed. Commands on its standard input, one per line:
//   build -> "built <status>" (the BH part's status)
#include <cstdio>
#include <iostream>
#include <memory>
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
    if (line != "build") continue;
    device = plat::open_device("\\\\.\\STAVRO");
    setup = std::make_unique<transfer_test::TransferSetup>(device, false);
    const transfer_test::Frame frame;
    std::int32_t status = setup->Create();
    setup->MakeBuffers(frame, 2);
    if (status == 0) status = setup->SetBh(frame, 0);
    std::printf("built %d\n", status);
    std::fflush(stdout);
  }
  return 0;
}
