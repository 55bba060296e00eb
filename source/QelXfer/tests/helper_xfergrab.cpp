// A client that grabs through the SDK's client API only: "QelApi.dll" loaded
// by name, every step a request to a board's server (acquisition 4001,
// buffers 9001, transfers 16000-16021), its client callback run by the SDK.
// Driven line by line; B is a board, each board has its own acquisition,
// host buffers and transfer:
//   open | close                  the SDK                                -> "open <s>" | "close <s>"
//   acq B D                       4001: device D of board B              -> "acq <s>"
//   geometry B                    the acquisition's width and lines      -> "geometry <w> <h>"
//   acqprm B ID                   4005: a parameter of the acquisition   -> "acqprm <s> <value>"
//   events B MASK                 4014: acquisition events to the callback -> "events <s>"
//   buffers B KIND N W H          9001: N 8-bit host buffers of memory kind KIND (1 contiguous, 0x20
//                                 scatter-gather)                        -> "buffers <s>"
//   xfer B EVENTS                 16000 and 16005 over the buffers, 16013 the callback for EVENTS, 16002
//                                                                        -> "xfer <s>"
//   prm B ID VALUE                16008                                  -> "prm <s>"
//   start B N | stop B | abort B | wait B MS | disconnect B | release B -> "<command> <s>"
//   free B K                      9006: host buffer K given back to the grab (state bit 31) -> "free <s>"
//   control B CODE HEX            1006: manager control with an 8-byte output -> "control <s> <output hex>"
//   event                         address of this process's monitor event function -> "event <address>"
//   calls                         the callbacks so far, in order, each "<context>:<events hex>:<count>"
//                                 (context 1 transfer, 2 acquisition, 3 the monitor's event function)
//                                                                        -> "calls <n> ..."
//   image B K                     host buffer K's bytes (9018)           -> "image <hex>"
//   bprm B K ID                   a parameter of host buffer K (9005)    -> "bprm <s> <value>"
//   save B K FILE                 9025: host buffer K as a BMP file      -> "save <s>"
//   probe                         from now on the transfer messages the server driver's worker takes
//                                 (its measurement point) join the calls as "4:<message event word hex>:0"
//                                                                        -> "probe 0"
#include <atomic>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "source/QelXfer/XferWorkerProbe.h"
#include "source/samples/sdk_requests.h"

using namespace qelapi;
using namespace sdk_requests;

namespace {

constexpr std::uint32_t kMono8 = 0x1010800;

struct Call {
  std::uint64_t context;
  std::uint32_t events;
  std::uint32_t count;
};
std::mutex g_callsGuard;
std::vector<Call> g_calls;

std::uint32_t ClientCallback(std::uint64_t context, std::uint32_t events, std::uint32_t count) {
  std::lock_guard lock(g_callsGuard);
  g_calls.push_back({context, events, count});
  return 0;
}

// The server driver's worker hands each transfer message it takes to the
// measurement point this process exports; recorded with context 4 once armed.
std::atomic<bool> g_probeArmed{false};

}  // namespace

extern "C" void XferWorkerMessageTaken(const std::uint32_t* words) {
  if (!g_probeArmed.load()) return;
  std::lock_guard lock(g_callsGuard);
  g_calls.push_back({4, words[8], 0});
}

namespace {

// A monitor's event function: recorded with context 3.
std::uint32_t EventFunction(std::uint64_t, void*) {
  std::lock_guard lock(g_callsGuard);
  g_calls.push_back({3, 0, 0});
  return 0;
}


struct Board {
  Bytes acquisition;
  std::vector<Bytes> buffers;
  Bytes transfer;
};
Board g_boards[16];

Answer Send(std::uint32_t board, std::uint32_t command, const Bytes& payload) {
  return SendToBoard(board, command, payload);
}

std::uint32_t AcqValue(Board& b, std::uint32_t board, std::uint32_t id) {
  return Send(board, 4005, With(b.acquisition, {id})).Value();
}

std::uint32_t Buffers(Board& b, std::uint32_t board, std::uint32_t kind, std::uint32_t count, std::uint32_t width,
                      std::uint32_t height) {
  for (std::uint32_t n = 0; n < count; ++n) {
    const Answer answer = Send(board, 9001, With(ServerHandle(kHostServer), {width, height, kMono8, kind}));
    if (answer.status != 0) return answer.status;
    b.buffers.push_back(answer.Handle());
  }
  return 0;
}

// A callback registration on an object: the board's server runs this
// process's callback with `context` (1 transfer events, 2 acquisition events).
Bytes Registration(const Bytes& object, std::uint32_t board, std::uint64_t context, std::uint32_t events) {
  Bytes request = object;
  const Bytes server = ServerHandle(BoardServer(board));
  Put(request, server.data(), 32);
  Quad(request, reinterpret_cast<std::uint64_t>(&ClientCallback));
  Quad(request, context);
  Word(request, events);
  return request;
}

std::uint32_t Transfer(Board& b, std::uint32_t board, std::uint32_t events) {
  if (b.buffers.empty()) return 0xFFFFFFFF;
  Bytes request = ServerHandle(BoardServer(board));
  Put(request, b.acquisition.data(), 32);
  Put(request, b.buffers[0].data(), 32);
  request.resize(request.size() + 20);
  const Answer made = Send(board, 16000, request);
  if (made.status != 0) return made.status;
  b.transfer = made.Handle();
  for (std::size_t n = 1; n < b.buffers.size(); ++n) {
    Bytes pair = b.transfer;
    Put(pair, b.acquisition.data(), 32);
    Put(pair, b.buffers[n].data(), 32);
    pair.resize(pair.size() + 20);
    if (const std::uint32_t status = Send(board, 16005, pair).status; status != 0) return status;
  }
  if (const std::uint32_t status = Send(board, 16013, Registration(b.transfer, board, 1, events)).status; status != 0)
    return status;
  return Send(board, 16002, b.transfer).status;
}

std::uint32_t Events(Board& b, std::uint32_t board, std::uint32_t mask) {
  return Send(board, 4014, Registration(b.acquisition, board, 2, mask)).status;
}

std::string Calls() {
  std::lock_guard lock(g_callsGuard);
  std::ostringstream out;
  out << "calls " << g_calls.size();
  for (const Call& call : g_calls) out << ' ' << call.context << ':' << std::hex << call.events << std::dec << ':' << call.count;
  return out.str();
}

std::string BufferCommand(const std::string& command, Board& b, std::uint32_t board, std::istringstream& in) {
  const std::uint32_t k = helper::Number(in);
  if (k >= b.buffers.size()) return command + " nobuffer";
  Bytes request = b.buffers[k];
  if (command == "bprm") {
    Word(request, helper::Number(in));
    const Answer answer = Send(board, 9005, request);
    return "bprm " + std::to_string(answer.status) + " " + std::to_string(answer.Value());
  }
  if (command == "save") {
    std::string file;
    in >> file;
    Word(request, 0);  // BMP
    Put(request, file.c_str(), file.size() + 1);
    return "save " + std::to_string(Send(board, 9025, request).status);
  }
  Word(request, 0x190004);
  const std::uint32_t pitch = Send(board, 9005, request).Value();
  request.resize(32);
  Word(request, 0x70004);
  const std::uint32_t height = Send(board, 9005, request).Value();
  request.resize(32);
  for (std::uint32_t word : {0u, 0u, pitch, height, pitch * height}) Word(request, word);
  const Answer answer = Send(board, 9018, request);
  if (answer.status != 0) return "image " + std::to_string(answer.status);
  return "image " + helper::Hex(answer.payload.data(), std::min<std::size_t>(answer.payload.size(), pitch * height));
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return "open " + std::to_string(Sdk<QelManOpenFn>("QelManOpen")());
  if (command == "close") return "close " + std::to_string(Sdk<QelManCloseFn>("QelManClose")());
  if (command == "calls") return Calls();
  if (command == "probe") {
    g_probeArmed = true;
    return "probe 0";
  }
  if (command == "event") return "event " + std::to_string(reinterpret_cast<std::uint64_t>(&EventFunction));
  const std::uint32_t board = helper::Number(in);
  if (board >= 16) return command + " noboard";
  Board& b = g_boards[board];
  if (command == "acq") {
    Bytes request = ServerHandle(BoardServer(board));
    Word(request, helper::Number(in));
    const Answer answer = Send(board, 4001, request);
    b.acquisition = answer.Handle();
    return "acq " + std::to_string(answer.status);
  }
  if (command == "geometry")
    return "geometry " + std::to_string(AcqValue(b, board, 0xA0004)) + " " + std::to_string(AcqValue(b, board, 0x8140004));
  if (command == "acqprm") {
    Bytes request = b.acquisition;
    Word(request, helper::Number(in));
    const Answer answer = Send(board, 4005, request);
    return "acqprm " + std::to_string(answer.status) + " " + std::to_string(answer.Value());
  }
  if (command == "events") return "events " + std::to_string(Events(b, board, helper::Number(in)));
  if (command == "buffers") {
    const std::uint32_t kind = helper::Number(in), count = helper::Number(in), width = helper::Number(in);
    return "buffers " + std::to_string(Buffers(b, board, kind, count, width, helper::Number(in)));
  }
  if (command == "control") {
    // Manager control (1006): the code, the input's and the output's sizes, the input.
    const std::uint32_t code = helper::Number(in);
    std::string hex;
    in >> hex;
    const Bytes input = helper::Bytes(hex);
    Bytes request = ServerHandle(BoardServer(board));
    for (std::uint32_t word : {code, static_cast<std::uint32_t>(input.size()), 8u}) Word(request, word);
    request.insert(request.end(), input.begin(), input.end());
    const Answer answer = Send(board, 1006, request);
    return "control " + std::to_string(answer.status) + " " + helper::Hex(answer.payload.data(), answer.payload.size());
  }
  if (command == "free") {
    const std::uint32_t k = helper::Number(in);
    if (k >= b.buffers.size()) return "free nobuffer";
    Bytes request = b.buffers[k];
    Word(request, 0xE0004);
    Word(request, 0x80000000u);
    return "free " + std::to_string(Send(board, 9006, request).status);
  }
  if (command == "xfer") return "xfer " + std::to_string(Transfer(b, board, helper::Number(in)));
  if (command == "image" || command == "bprm" || command == "save") return BufferCommand(command, b, board, in);
  Bytes request = b.transfer;
  if (command == "prm") {
    Word(request, helper::Number(in));
    Word(request, helper::Number(in));
    return "prm " + std::to_string(Send(board, 16008, request).status);
  }
  if (command == "start" || command == "wait") Word(request, helper::Number(in));
  static const std::pair<const char*, std::uint32_t> kRun[] = {{"start", 16009}, {"stop", 16010},      {"abort", 16011},
                                                               {"wait", 16012},  {"disconnect", 16003}, {"release", 16001}};
  for (const auto& [name, id] : kRun)
    if (command == name) return command + " " + std::to_string(Send(board, id, request).status);
  return "unknown " + command;
}

}  // namespace

int main() {
  SdkModule() = plat::load_library(kLibraryName);
  if (SdkModule() == nullptr) return 1;
  return helper::Serve(Run);
}
