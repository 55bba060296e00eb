// A client process of the stress tests: plays one role against board 0 for
// a number of milliseconds, then prints "done <rounds> <failures>" and ends.
//   stavro-helper-stress ROLE MS
// Roles:
//   managers   initialises the board manager and the memory manager in turn
//   transfers  builds a whole transfer, starts, aborts and destroys it; every
//              third one is left for the close to destroy
//   messages   registers, routes and fetches transfer messages
//   churn      opens, asks its slot and closes
//   config     rebuilds the register map and reloads the main FPGA
// A role whose device cannot be opened prints "failed" and ends with 1.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/kernel/tests/transfer_setup.h"
#include "platform/win/device.h"
#include "platform/win/objects.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr YatIocHeader kBoard{YAT_IOC_TARGET_BOARD, 0};

struct Tally {
  unsigned rounds = 0;
  unsigned failures = 0;
  void Count(std::int32_t status) {
    ++rounds;
    if (status != 0) ++failures;
  }
};

plat::Handle Open() { return plat::open_device("\\\\.\\STAVRO"); }

YatInitMemoryRecord MemoryRecord() {
  YatInitMemoryRecord record{};
  record.header = kBoard;
  record.regionsPerBank[0] = 8;
  record.bankSizeMb[0] = 64;
  record.bankCount = 1;
  return record;
}

void Managers(plat::Handle device, Tally& tally) {
  const YatInitMemoryRecord record = MemoryRecord();
  const std::uint32_t code = tally.rounds % 2 == 0 ? YAT_IOCTRL_INIT_BOARD_MANAGER : YAT_IOCTRL_INIT_MEMORY_MANAGER;
  tally.Count(transfer_test::Send(device, code, &record, sizeof record));
}

// Kept for the process's close: transfers it leaves behind.
std::vector<std::unique_ptr<transfer_test::TransferSetup>> g_left;

void Transfers(plat::Handle device, Tally& tally) {
  auto t = std::make_unique<transfer_test::TransferSetup>(device, false);
  const transfer_test::Frame frame;
  std::int32_t status = t->InitOnboard(frame.Bytes());
  if (status == 0) status = t->Create();
  t->MakeBuffers(frame, 2);
  if (status == 0) status = t->SetBh(frame, 0);
  if (status == 0) status = t->SetLb(frame);
  if (status == 0) status = t->SetAl(frame);
  if (status == 0) status = t->Command(YAT_IOCTRL_START_AUTO_XFER);
  if (status == 0) status = t->Command(YAT_IOCTRL_ABORT_XFER);
  tally.Count(status);
  if (tally.rounds % 3 == 0) {
    g_left.push_back(std::move(t));
    return;
  }
  t->Destroy();
  YatIocFreeFpgaMemIn free{kBoard, t->Onboard(), 0};
  transfer_test::Send(device, YAT_IOCTRL_FREE_FPGA_MEM, &free, sizeof free);
}

void Messages(plat::Handle device, plat::Handle event, Tally& tally) {
  YatEventRegistration registration{kBoard, YAT_MSG_TYPE_TRANSFER, event};
  std::int32_t status = transfer_test::Send(device, YAT_IOCTRL_REGISTER_EVENT, &registration, sizeof registration);
  YatEventRoute route{kBoard, 0, 7, 0x80000000};
  if (status == 0) status = transfer_test::Send(device, YAT_IOCTRL_ROUTE_EVENT, &route, sizeof route);
  YatTransferMessage message{};
  YatMsgRequest fetch{kBoard, YAT_MSG_TYPE_TRANSFER, sizeof message, reinterpret_cast<std::uintptr_t>(&message)};
  for (int i = 0; i < 8 && status == 0; ++i)
    status = transfer_test::Send(device, YAT_IOCTRL_GET_MESSAGE, &fetch, sizeof fetch);
  tally.Count(status);
}

void Churn(Tally& tally) {
  plat::Handle device = Open();
  std::uint32_t slot[2] = {};
  const std::int32_t status = transfer_test::Send(device, YAT_IOCTRL_GET_PROCESS_ID, nullptr, 0, slot, sizeof slot);
  tally.Count(device == plat::kNullHandle ? -1 : status);
  plat::close_device(device);
}

void Config(plat::Handle device, Tally& tally) {
  switch (tally.rounds % 3) {
    case 0: tally.Count(transfer_test::Send(device, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &kBoard, sizeof kBoard)); break;
    case 1: {
      YatFpgaLoadRecord load{};
      load.header = kBoard;
      tally.Count(transfer_test::Send(device, YAT_IOCTRL_LOAD_FPG, &load, sizeof load));
      break;
    }
    default: {
      YatIocReloadIn reload{kBoard, 2, 0};
      transfer_test::Send(device, IOCTRL_RELOAD, &reload, sizeof reload);
      ++tally.rounds;  // a reload with a port connected is refused: not a failure of the stress
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string role = argv[1];
  const auto until = Clock::now() + std::chrono::milliseconds(std::atoi(argv[2]));
  plat::Handle device = Open();
  if (device == plat::kNullHandle) {
    std::printf("failed\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  plat::Handle event = plat::create_event(nullptr, false, false, nullptr);
  Tally tally;
  while (Clock::now() < until) {
    if (role == "managers") Managers(device, tally);
    else if (role == "transfers") Transfers(device, tally);
    else if (role == "messages") Messages(device, event, tally);
    else if (role == "churn") Churn(tally);
    else if (role == "config") Config(device, tally);
    else return 2;
  }
  std::printf("done %u %u\n", tally.rounds, tally.failures);
  std::fflush(stdout);
  return 0;
}
