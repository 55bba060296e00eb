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

#include "driver/user/Pardow.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/tests/helper_support.h"
#include "platform/sdk/qelapi.h"
#include "platform/win/device.h"
#include "platform/win/library.h"
#include "source/QelXfer/XferConnMatrix.h"
#include "source/QelXfer/XferShared.h"
#include "source/QelXfer/tests/xfer_probe.h"
#include "source/firmware/tests/sdk_client.h"

using namespace qelapi;
using sdk_client::Sdk;
using sdk_client::Send;

namespace {

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
    return "answer " + Send(board, id, hex, 20000);
  }
  if (command == "matrix") return xfer_probe::Matrix(helper::Number(in));
  if (command == "places") return "places " + std::to_string(XferMatrixPlacesOf(0));
  if (command == "free") {
    const std::uint32_t board = helper::Number(in);
    return xfer_probe::Free(board, helper::Number(in));
  }
  if (command == "stages") return xfer_probe::Stages(helper::Number(in));
  if (command == "debug") return "debug " + std::to_string(Yat_Man_Debug_Level(helper::Number(in)));
  return "unknown " + command;
}

}  // namespace

int main() {
  if (!sdk_client::Load()) return 1;
  return helper::Serve(Run);
}
