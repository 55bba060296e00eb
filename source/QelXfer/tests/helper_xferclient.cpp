// A client process on the road of the SDK's users ("QelApi.dll" loaded by
// name; opening the SDK loads the device-control module, which loads the
// server driver), and what it can see of the machine beside its requests.
// Driven line by line:
//   open | close                 the SDK                                  -> "open <s>" | "close <s>"
//   send <board> <cmd> <hex>     a request to board <board>'s server; the hex is the whole payload from
//                                offset 36 (a handle first)             -> "answer <send s> <status> <payload hex>"
//   matrix <board>               the board's 12 connection-matrix counters -> "matrix <c0> ... <c11>"
//   places                       held connection-matrix places             -> "places <n>"
//   free <board> <region>        the largest block the on-board allocator still gives in the region, in KiB
//                                (found by taking blocks and giving them back) -> "free <kib>"
//   debug <level>                the board library's debug level (its trace lines name every internal buffer)
//                                                                          -> "debug <s>"
//   stages <board>               this process's transfer objects in the driver and the stages each has
//                                                                          -> "stages <n> <with AL> <with LB> <with BH>"
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/YatTransferRecords.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/tests/helper_support.h"
#include "platform/sdk/qelapi.h"
#include "platform/win/device.h"
#include "platform/win/library.h"
#include "source/QelXfer/XferConnMatrix.h"
#include "source/QelXfer/XferShared.h"

using namespace qelapi;

namespace {

plat::ModuleHandle g_sdk = nullptr;

template <typename Fn>
Fn Sdk(const char* name) {
  return reinterpret_cast<Fn>(plat::get_proc_address(g_sdk, name));
}

std::string Send(std::uint32_t board, std::uint32_t command, const std::string& hex) {
  QelServerHandle server{};
  const std::string name = "Tramond-CL_RZ6_" + std::to_string(board + 1);
  std::uint32_t status = Sdk<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
  const std::vector<std::uint8_t> payload = helper::Bytes(hex);
  void* request = nullptr;
  const auto size = static_cast<std::uint32_t>(std::max(payload.size(), sizeof server));
  if (status == kSdkOk) status = Sdk<QelManAllocRequestFn>("QelManAllocRequest")(&server, command, size, &request);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  std::memcpy(static_cast<std::uint8_t*>(request) + sizeof(QelSdkMessageHeader), payload.data(), payload.size());
  void* answer = nullptr;
  status = Sdk<QelManSendRequestFn>("QelManSendRequest")(request, 20000, &answer);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  const auto* h = static_cast<const QelSdkMessageHeader*>(answer);
  const std::string reply =
      std::to_string(h->command) + " " +
      helper::Hex(static_cast<const std::uint8_t*>(answer) + sizeof *h, h->size - sizeof *h);
  Sdk<QelManFreeMessageFn>("QelManFreeMessage")(answer);
  return "0 " + reply;
}

std::string Matrix(std::uint32_t board) {
  std::string line = "matrix";
  for (std::uint32_t s = 0; s < kXferMatrixSourceKinds; ++s)
    for (std::uint32_t d = 0; d < kXferMatrixDestinationKinds; ++d)
      line += " " + std::to_string(XferMatrixValue(board, s, d));
  return line;
}

bool Fits(std::uint32_t board, std::uint32_t region, std::uint32_t kib) {
  YatInternalBuffer record{};
  if (kib == 0) return true;
  if (Yat_InternalBuffer_Create(board, region, 0, kib * 1024, &record) != QELHW_OK) return false;
  Yat_InternalBuffer_Free(&record);
  return true;
}

// The largest whole KiB block, by halving the range.
std::string Free(std::uint32_t board, std::uint32_t region) {
  std::uint32_t low = 0, high = 4u << 20;
  while (low < high) {
    const std::uint32_t middle = low + (high - low + 1) / 2;
    if (Fits(board, region, middle)) low = middle;
    else high = middle - 1;
  }
  return "free " + std::to_string(low);
}

// Whether the driver has the stage of a transfer object (its descriptors can be mapped).
bool HasStage(plat::Handle device, std::uint32_t board, std::uint64_t handle, std::uint32_t part) {
  YatDbgMapDescRecord in{{YAT_IOC_TARGET_BOARD, board}, handle, part, 0, 0xFFFFFFFF, 0};
  YatDbgMapDescOut out{};
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_DBG_MAP_DESC, &in, sizeof in, &out, sizeof out, &bytes);
  if (out.status.status != 0 || out.userAddress == 0) return false;
  YatDbgUnmapDescRecord unmap{{YAT_IOC_TARGET_BOARD, board}, out.userAddress};
  YatIocStatus done{};
  plat::device_io_control(device, YAT_IOCTRL_DBG_UNMAP_DESC, &unmap, sizeof unmap, &done, sizeof done, &bytes);
  return true;
}

std::string Stages(std::uint32_t board) {
  const plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  if (device == plat::kNullHandle) return "stages nodevice";
  std::uint8_t list[4 + 8 * 64] = {};
  YatIocHeader in{YAT_IOC_TARGET_BOARD, board};
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_DBG_GET_XFER_HANDLES, &in, sizeof in, list, sizeof list, &bytes);
  std::uint32_t count = 0, parts[3] = {};
  for (std::size_t at = 4; at + 8 <= sizeof list; at += 8) {
    std::uint64_t handle = 0;
    std::memcpy(&handle, list + at, sizeof handle);
    if (handle == 0) continue;
    ++count;
    for (std::uint32_t part = 0; part < 3; ++part)
      if (HasStage(device, board, handle, part)) ++parts[part];
  }
  plat::close_device(device);
  return "stages " + std::to_string(count) + " " + std::to_string(parts[0]) + " " + std::to_string(parts[1]) + " " +
         std::to_string(parts[2]);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return "open " + std::to_string(Sdk<QelManOpenFn>("QelManOpen")());
  if (command == "close") return "close " + std::to_string(Sdk<QelManCloseFn>("QelManClose")());
  if (command == "send") {
    const std::uint32_t board = helper::Number(in), id = helper::Number(in);
    std::string hex;
    in >> hex;
    return "answer " + Send(board, id, hex);
  }
  if (command == "matrix") return Matrix(helper::Number(in));
  if (command == "places") return "places " + std::to_string(XferMatrixPlacesOf(0));
  if (command == "free") {
    const std::uint32_t board = helper::Number(in);
    return Free(board, helper::Number(in));
  }
  if (command == "stages") return Stages(helper::Number(in));
  if (command == "debug") return "debug " + std::to_string(Yat_Man_Debug_Level(helper::Number(in)));
  return "unknown " + command;
}

}  // namespace

int main() {
  g_sdk = plat::load_library(kLibraryName);
  if (g_sdk == nullptr) return 1;
  return helper::Serve(Run);
}
