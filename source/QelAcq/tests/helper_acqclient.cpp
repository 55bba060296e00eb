// A process on the road of the SDK's users for the acquisition commands.
// "open" opens the SDK, which loads the device-control module and through it
// the server driver; "host" instead serves the boards from the server driver
// built into this program, published through the SDK as the device-control
// module does, so that the test entries below reach the very module that
// serves the requests. Requests go to this process's own board server.
// Driven line by line:
//   open | host                 the SDK / the built-in server driver         -> "open <s>" | "host <s>"
//   overlap <board>             "host" while a request holds the board        -> "overlap <waited> <s>"
//   send <board> <cmd> <hex>    a request; hex is the payload from offset 36  -> "answer <send s> <status> <payload hex>"
//   callback                    address of this process's client callback    -> "callback <address>"
//   event                       address of this process's event function     -> "event <address>"
//   calls                       client callbacks and event calls so far
//                               -> "calls <n> <last count> <last type> <event calls> <counts not one above the last>"
//   xfer <b> <d> <flag>         AcqSetXferConnected (host only)              -> "xfer <s>"
//   control <b> <d> <frames>    AcqModAcquisitionControl (host only)         -> "control <s>"
//   threads                     board event thread starts (host only)        -> "threads <n>"
//   fill <b> <d> <n>            n acquisition events pushed to the monitor FIFO (host only) -> "fill <overflows>"
//   camvic                      a new VIC and CAM object (host only)         -> "camvic <vic hex> <cam hex>"
//   objprm <vic|cam> <id>       a one-word value of the last pair's object   -> "objprm <s> <value>"
//   objset <vic|cam> <id> <v>   sets it                                      -> "objset <s>"
//   lut <entries> <format> <hex> a LUT object holding the bytes (host only)   -> "lut <s> <handle hex>"
//   lutdata <n>                 the data of the n-th LUT made                -> "lutdata <hex>"
//   onboard <b> <c> <n>         the on-board memory of onboard buffer n of connector c (host only)
//                                                                            -> "onboard <s> <hex>"
//   block <hex words...>        a block of 32-bit words kept in this process  -> "block <address>"
//   grab <b> <d> <w> <h>        one frame of the device's camera through the board library into a
//                               w x h host buffer (host only)                -> "grab <message> <image hex>"
#include <algorithm>
#include <atomic>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "driver/user/tests/host_transfer.h"
#include "platform/sdk/qelapi.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqPrmObjects.h"
#include "source/QelAcq/YatBoardEvents.h"
#include "source/QelAcq/acqmonitor.h"
#include "source/QelAcq/tests/acq_grab.h"
#include "source/QelAcq/tests/acq_start_overlap.h"
#include "source/QelLut/LutObject.h"
#include "source/QelXfer/YatAcqBufferKit.h"
#include "source/firmware/tests/sdk_client.h"

using namespace qelapi;
using sdk_client::Host;
using sdk_client::Sdk;
using sdk_client::Send;

namespace {

std::atomic<std::uint32_t> g_callbacks{0}, g_lastCount{0}, g_lastEvents{0}, g_events{0}, g_outOfOrder{0};

std::uint32_t ClientCallback(std::uint64_t, std::uint32_t type, std::uint32_t count) {
  g_lastEvents = type;
  if (count != g_lastCount + 1) ++g_outOfOrder;
  g_lastCount = count;
  ++g_callbacks;
  return 0;
}

std::uint32_t EventFunction(std::uint64_t, QelHandle*) {
  ++g_events;
  return 0;
}

std::string Fill(std::istringstream& in) {
  const std::uint32_t board = helper::Number(in), device = helper::Number(in), count = helper::Number(in);
  for (std::uint32_t n = 0; n < count; ++n) {
    const AcqMonitorAcqEvent event{28, 0xFFFFFFFFu, n + 1, {}};
    AcqMonitorAcqCallback(board, device, &event);
  }
  return "fill " + std::to_string(AcqMonitorFifoOverflows(board, device));
}

QelHandle* g_vic = nullptr;
QelHandle* g_cam = nullptr;

std::string CamVic() {
  const QelStatus vic = VicNew(&g_vic), cam = CamNew(&g_cam);
  if (vic != 0 || cam != 0) return "camvic " + std::to_string(vic) + " " + std::to_string(cam);
  return "camvic " + helper::Hex(reinterpret_cast<const std::uint8_t*>(g_vic), sizeof *g_vic) + " " +
         helper::Hex(reinterpret_cast<const std::uint8_t*>(g_cam), sizeof *g_cam);
}

std::string ObjectValue(std::istringstream& in, bool set) {
  std::string kind;
  in >> kind;
  const std::uint32_t id = helper::Number(in);
  std::uint32_t value = set ? helper::Number(in) : 0;
  const bool cam = kind == "cam";
  if (set) return "objset " + std::to_string(cam ? CamSetPrm(g_cam, id, &value) : VicSetPrm(g_vic, id, &value));
  const QelStatus status = cam ? CamGetPrm(g_cam, id, &value) : VicGetPrm(g_vic, id, &value);
  return "objprm " + std::to_string(status) + " " + std::to_string(value);
}

std::vector<QelHandle*> g_luts;
std::vector<std::vector<std::uint32_t>> g_blocks;

std::string Block(std::istringstream& in) {
  std::vector<std::uint32_t> words;
  for (std::string word; in >> word;) words.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)));
  g_blocks.push_back(std::move(words));
  return "block " + std::to_string(reinterpret_cast<std::uintptr_t>(g_blocks.back().data()));
}

std::string Lut(std::istringstream& in) {
  const std::uint32_t entries = helper::Number(in), format = helper::Number(in);
  std::string hex;
  in >> hex;
  const std::vector<std::uint8_t> bytes = helper::Bytes(hex);
  QelHandle* lut = nullptr;
  const QelStatus status = LutNew(entries, format, &lut);
  if (status != 0) return "lut " + std::to_string(status);
  std::uint32_t size = 0;
  std::uint64_t data = 0;
  LutGetPrm(lut, kLutPrmDataSize, &size);
  LutGetPrm(lut, kLutPrmData, &data);
  std::memcpy(reinterpret_cast<void*>(data), bytes.data(), std::min<std::size_t>(size, bytes.size()));
  g_luts.push_back(lut);
  return "lut 0 " + helper::Hex(reinterpret_cast<const std::uint8_t*>(lut), sizeof *lut);
}

std::string LutData(std::istringstream& in) {
  const std::uint32_t n = helper::Number(in);
  if (n >= g_luts.size()) return "lutdata none";
  std::uint32_t size = 0;
  std::uint64_t data = 0;
  LutGetPrm(g_luts[n], kLutPrmDataSize, &size);
  LutGetPrm(g_luts[n], kLutPrmData, &data);
  return "lutdata " + helper::Hex(reinterpret_cast<const std::uint8_t*>(data), size);
}

std::string Onboard(std::istringstream& in) {
  const std::uint32_t board = helper::Number(in), connector = helper::Number(in);
  const YatOnboardBufferRecord* record = YatOnboardRecord(board, connector, helper::Number(in));
  if (record == nullptr || record->state != 1) return "onboard none";
  std::vector<std::uint8_t> bytes(record->memory.size);
  const QelHwStatus status = Yat_Man_Memory_Read(board, record->memory.onboardAddress, record->memory.size,
                                                 reinterpret_cast<std::uintptr_t>(bytes.data()), 0);
  return "onboard " + std::to_string(status) + " " + helper::Hex(bytes.data(), bytes.size());
}

std::string Grab(std::istringstream& in) {
  const std::uint32_t board = helper::Number(in), device = helper::Number(in);
  const std::uint32_t width = helper::Number(in), height = helper::Number(in);
  YatAcqHandle* hw = AcqGetHwHandle(board, device);
  if (hw == nullptr) return "grab nohandle";
  std::int32_t status = AcqGrabConnect(hw, 1, width, height);
  if (status == 0) status = QelHw_Acq_AcquireNFrames(hw, 1);
  if (status != 0) return "grab " + std::to_string(status);
  const std::string message = host_transfer::NextMessage(board, 30000);
  QelHw_Acq_AbortVideo(hw);
  return "grab " + message + " " + AcqGrabImage(hw->camera, 0);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return "open " + std::to_string(Sdk<QelManOpenFn>("QelManOpen")());
  if (command == "host") return "host " + std::to_string(Host());
  if (command == "overlap") return StartUpWhileBoardHeld(helper::Number(in), Host);
  if (command == "send") {
    const std::uint32_t board = helper::Number(in), id = helper::Number(in);
    std::string hex;
    in >> hex;
    return "answer " + Send(board, id, hex);
  }
  if (command == "callback") return "callback " + std::to_string(reinterpret_cast<std::uint64_t>(&ClientCallback));
  if (command == "event") return "event " + std::to_string(reinterpret_cast<std::uint64_t>(&EventFunction));
  if (command == "calls")
    return "calls " + std::to_string(g_callbacks) + " " + std::to_string(g_lastCount) + " " +
           std::to_string(g_lastEvents) + " " + std::to_string(g_events) + " " + std::to_string(g_outOfOrder);
  if (command == "xfer") {
    const std::uint32_t board = helper::Number(in), device = helper::Number(in);
    return "xfer " + std::to_string(AcqSetXferConnected(board, device, static_cast<std::uint8_t>(helper::Number(in))));
  }
  if (command == "control") {
    const std::uint32_t board = helper::Number(in), device = helper::Number(in);
    const auto frames = static_cast<std::int32_t>(helper::Number(in));
    return "control " + std::to_string(AcqControlDevice(board, device, frames, 0));
  }
  if (command == "threads") return "threads " + std::to_string(BoardEventThreadStarts());
  if (command == "fill") return Fill(in);
  if (command == "camvic") return CamVic();
  if (command == "objprm") return ObjectValue(in, false);
  if (command == "objset") return ObjectValue(in, true);
  if (command == "grab") return Grab(in);
  if (command == "lut") return Lut(in);
  if (command == "block") return Block(in);
  if (command == "lutdata") return LutData(in);
  if (command == "onboard") return Onboard(in);
  return "unknown " + command;
}

}  // namespace

int main() {
  if (!sdk_client::Load()) return 1;
  return helper::Serve(Run);
}
