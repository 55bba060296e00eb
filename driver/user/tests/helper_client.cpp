// A process that loads the board library and runs one command per input line,
// answering one line each: the library's results as numbers.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "platform/win/device.h"
#include "platform/win/process.h"
#include "platform/win/sections.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;

// The shared section as this process sees it: the same bytes as the library's.
YatSharedData* Shared() {
  static auto* const shared =
      static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  return shared;
}

std::string SharedSummary() {
  YatSharedData* shared = Shared();
  if (shared == nullptr) return "unmapped";
  std::ostringstream out;
  out << shared->info.loadCount << ' ' << shared->info.boardCount << ' ' << shared->info.processSlotMask << ' '
      << shared->info.initError << ' ' << shared->debugLevel;
  return out.str();
}

// The holder of each held slot: "<slot>:<pid>", "none" without one.
std::string Holders() {
  if (Shared() == nullptr) return "unmapped";
  std::string text;
  for (std::uint32_t slot = 1; slot <= YAT_PROCESS_SLOTS; ++slot)
    if (const YatProcessHolder& holder = Shared()->holders[slot - 1]; holder.pid != 0)
      text += (text.empty() ? "" : " ") + std::to_string(slot) + ":" + std::to_string(holder.pid);
  return text.empty() ? "none" : text;
}

// Marks every slot held by this process, as 32 living openers would leave them.
std::string FillSlots() {
  if (Shared() == nullptr) return "unmapped";
  const plat::ProcessIdentity self = plat::current_process();
  for (YatProcessHolder& holder : Shared()->holders) holder = YatProcessHolder{self.pid, 0, self.start_time};
  Shared()->info.processSlotMask = 0xFFFFFFFF;
  return "0";
}

// Holds the library's section at a size it cannot use, as another build of
// the library would.
std::string HoldSmallSection() {
  static void* held = plat::map_module_shared_data(YAT_SHARED_DATA_NAME, 64);
  return held != nullptr ? "0" : "unmapped";
}

// Marks a board failed in the driver, through a device handle of this process.
int SetBoardError(std::uint32_t board, std::int32_t error) {
  const plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  if (device == plat::kNullHandle) return -1;
  struct {
    YatIocHeader header;
    std::int32_t error;
  } in{{YAT_IOC_TARGET_BOARD, board}, error};
  std::int32_t status = -1;
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_SET_BOARD_ERROR, &in, sizeof in, &status, sizeof status, &bytes);
  plat::close_device(device);
  return status;
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  std::uint32_t value = 0;
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "close") return std::to_string(QelHw_Close());
  if (command == "initerr") return std::to_string(Yat_Man_GetInitializationError());
  if (command == "shared") return SharedSummary();
  if (command == "holders") return Holders();
  if (command == "fillslots") return FillSlots();
  if (command == "holdsmall") return HoldSmallSection();
  if (command == "self") return std::to_string(plat::current_process().pid);
  if (command == "nb") {
    const QelHwStatus status = Yat_Man_GetNbBoard(&value);
    return std::to_string(status) + " " + std::to_string(value);
  }
  if (command == "pid") {
    const QelHwStatus status = Yat_Man_GetProcessID(&value);
    return std::to_string(status) + " " + std::to_string(value);
  }
  if (command == "isinit") return std::to_string(Yat_Man_IsBoardInitialized(Number(in)));
  if (command == "read") {
    const std::uint32_t board = Number(in);
    const QelHwStatus status = Yat_ReadData(board, Number(in), &value);
    return std::to_string(status) + " " + std::to_string(value);
  }
  if (command == "write") {
    const std::uint32_t board = Number(in);
    const std::uint32_t offset = Number(in);
    return std::to_string(Yat_WriteData(board, offset, Number(in)));
  }
  if (command == "addrsize") {
    const QelHwStatus status = Yat_Man_GetAddressSize(Number(in), &value);
    return std::to_string(status) + " " + std::to_string(value);
  }
  if (command == "freeall") return std::to_string(Yat_Man_MemoryManager_FreeAll(Number(in)));
  if (command == "debug") return std::to_string(Yat_Man_Debug_Level(Number(in)));
  if (command == "seterror") {
    const std::uint32_t board = Number(in);
    return std::to_string(SetBoardError(board, static_cast<std::int32_t>(Number(in))));
  }
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run); }
