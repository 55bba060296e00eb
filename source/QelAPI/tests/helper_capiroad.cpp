// A process that serves every board from the server driver built into it (the
// instance opened in server mode with all its modules, published through the
// SDK as the device-control module publishes it) and calls the manager client
// stubs against those servers. Driven line by line:
//   host                         the instance opened and published          -> "host <status>"
//   send <b> <cmd> <hex>         a request to board b's server; hex is the payload from offset 36
//                                                                           -> "answer <send s> <status> <payload hex>"
//   callback <b>                 QelManSendCallback to board b's server from a worker thread
//                                -> "callback <status> <calls> <context> <type> <count>"
//   ready <b> <seconds>          QelManWaitForServerReady on board b's server -> "ready <status>"
#include <atomic>
#include <sstream>
#include <string>
#include <thread>

#include "driver/user/tests/helper_support.h"
#include "source/QelAPI/QelCapiCallback.h"
#include "source/QelAPI/QelCapiMan.h"
#include "source/QelAPI/QelHandle.h"
#include "source/firmware/tests/sdk_client.h"

namespace {

std::atomic<std::uint32_t> g_calls{0}, g_type{0}, g_count{0};
std::atomic<std::uint64_t> g_context{0};

std::uint32_t Callback(std::uint64_t context, std::uint32_t type, std::uint32_t count) {
  g_context = context;
  g_type = type;
  g_count = count;
  ++g_calls;
  return 0;
}

QelHandle BoardServer(std::uint32_t board) {
  QelHandle server{};
  server.server = 0x01DE0000u | ((board + 1) << 8);
  server.tag = kQelTagServer;
  return server;
}

std::string SendCallback(std::uint32_t board) {
  const QelHandle server = BoardServer(board);
  QelStatus status = QEL_OK;
  std::thread([&] {
    status = QelManSendCallback(&server, 5, reinterpret_cast<std::uintptr_t>(&Callback), 42 + board, 3, 7);
  }).join();
  return "callback " + std::to_string(status) + " " + std::to_string(g_calls.load()) + " " +
         std::to_string(g_context.load()) + " " + std::to_string(g_type.load()) + " " + std::to_string(g_count.load());
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "host") return "host " + std::to_string(sdk_client::Host());
  if (command == "send") {
    const std::uint32_t board = helper::Number(in), id = helper::Number(in);
    std::string hex;
    in >> hex;
    return "answer " + sdk_client::Send(board, id, hex);
  }
  if (command == "callback") return SendCallback(helper::Number(in));
  if (command == "ready") {
    const QelHandle server = BoardServer(helper::Number(in));
    return "ready " + std::to_string(QelManWaitForServerReady(&server, helper::Number(in)));
  }
  return "unknown " + command;
}

}  // namespace

int main() {
  if (!sdk_client::Load()) return 1;
  return helper::Serve(Run);
}
