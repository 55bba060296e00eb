// A process that starts the acquisition devices (acq_module_harness.h) and
// answers one board-private command per line:
//   start                         -> started ... (as quillet-helper-acqdevices)
//   block R V [R V ...]           -> block <pairs>: this process's (register, value) block
//   showblock                     -> block <words of the block>
//   cmd B S SLOT CMD OUT FIELD... -> cmd <status> <output words>
//       SLOT 18 or 19; OUT an output size in bytes or "-" (none); FIELDs make
//       the input: w:X a 32-bit word, h:X a 16-bit word, a:block the block's
//       address, a:bad an address of no readable memory, a:X a 64-bit
//       address; no FIELD at all or "-" gives no input
//   serial settings | count | resolve | read N | write N -> serial <status> <words>
//   serial open <board> <port> | send <hex> | receive <n> <ms> | close: through a serial handle of this process
//                                                         -> serial <status> [<count> <hex>]
//   quit
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/YatSerialTable.h"
#include "source/QelAcq/tests/acq_module_harness.h"

namespace {

std::vector<std::uint32_t> g_block;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string Words(const std::uint8_t* bytes, std::size_t size) {
  std::string line;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes + i, 4);
    line += " " + Hex(word);
  }
  return line;
}

// An address whose page is mapped without access.
std::uint64_t BadAddress() {
  static void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return reinterpret_cast<std::uint64_t>(page);
}

template <typename T>
void Append(std::vector<std::uint8_t>* input, T value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  input->insert(input->end(), bytes, bytes + sizeof value);
}

bool Field(const std::string& field, std::vector<std::uint8_t>* input) {
  if (field.size() < 3 || field[1] != ':') return false;
  const std::string value = field.substr(2);
  if (field[0] == 'a' && value == "block") Append(input, reinterpret_cast<std::uint64_t>(g_block.data()));
  else if (field[0] == 'a' && value == "bad") Append(input, BadAddress());
  else if (field[0] == 'a') Append(input, std::uint64_t{std::stoull(value, nullptr, 0)});
  else if (field[0] == 'w') Append(input, static_cast<std::uint32_t>(std::stoul(value, nullptr, 0)));
  else if (field[0] == 'h') Append(input, static_cast<std::uint16_t>(std::stoul(value, nullptr, 0)));
  else return false;
  return true;
}

std::string Command(std::istringstream& in) {
  std::uint32_t board = 0, slot = 0, tableSlot = 0, command = 0;
  std::string outText, field;
  if (!(in >> board >> slot >> tableSlot >> command >> outText)) return "error";
  const othStruct* table = AcqGetOthStruct(board, slot);
  if (table == nullptr) return "error";
  const AcqPrivateOp op = tableSlot == 18 ? table->privateRead : table->privateWrite;
  if (op == nullptr) return "cmd none";
  std::vector<std::uint8_t> input;
  bool noInput = true;
  while (in >> field) {
    if (field == "-") break;
    if (!Field(field, &input)) return "error";
    noInput = false;
  }
  const bool noOutput = outText == "-";
  std::vector<std::uint8_t> output(noOutput ? 0 : std::stoul(outText, nullptr, 0) + 16, 0xEE);
  const auto outSize = static_cast<std::uint32_t>(noOutput ? 0 : output.size() - 16);
  const QelStatus status = op(AcqGetHandle(board, slot), command, noInput ? nullptr : input.data(),
                              static_cast<std::uint32_t>(input.size()), noOutput ? nullptr : output.data(), outSize);
  return "cmd " + Hex(status) + Words(output.data(), outSize);
}

QelHandle g_serialHandle{};

std::string SerialPort(const SerialFunctionTable* table, const std::string& what, std::istringstream& in) {
  std::uint32_t count = 0x7777;
  if (what == "open") {
    const std::uint32_t board = helper::Number(in), port = helper::Number(in);
    QelHandle server{0x01DE0000u | ((board + 1) << 8), 0, 0, 0, 0xcccc0040, 0};
    return "serial " + Hex(table->open(&g_serialHandle, &server, port));
  }
  if (what == "close") return "serial " + Hex(table->close(&g_serialHandle));
  if (what == "send") {
    std::string hex;
    in >> hex;
    const std::vector<std::uint8_t> bytes = helper::Bytes(hex);
    const QelStatus status =
        table->write(&g_serialHandle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &count, 30000);
    return "serial " + Hex(status) + " " + Hex(count);
  }
  const std::uint32_t size = helper::Number(in), timeout = helper::Number(in);
  std::vector<std::uint8_t> bytes(size);
  const QelStatus status = table->read(&g_serialHandle, bytes.data(), size, &count, timeout);
  return "serial " + Hex(status) + " " + Hex(count) + " " + helper::Hex(bytes.data(), std::min(count, size));
}

std::string Serial(std::istringstream& in) {
  const SerialFunctionTable* table = YatGetSerialInterface();
  std::string what;
  std::uint32_t size = 0, count = 0x7777;
  in >> what;
  if (what == "open" || what == "close" || what == "send" || what == "receive") return SerialPort(table, what, in);
  if (what == "settings") {
    SerialSettings settings{};
    const QelStatus status = table->defaultSettings(&settings);
    return "serial " + Hex(status) + Words(reinterpret_cast<const std::uint8_t*>(&settings), sizeof settings);
  }
  if (what == "count") {
    const QelStatus status = table->portCount(nullptr, &count);
    return "serial " + Hex(status) + " " + Hex(count);
  }
  if (what == "resolve") {
    QelHandle server{};
    std::uint32_t port = 0x7777;
    const QelStatus status = table->resolve(nullptr, &server, &port);
    return "serial " + Hex(status) + " " + Hex(port);
  }
  std::vector<std::uint8_t> bytes((in >> size) ? size : 0, 0xEE);
  if (what == "read") {
    const QelStatus status = table->read(nullptr, bytes.data(), size, &count, 100);
    return "serial " + Hex(status) + " " + Hex(count) + Words(bytes.data(), bytes.size());
  }
  if (what == "write") {
    const QelStatus status = table->write(nullptr, bytes.data(), size, &count, 100);
    return "serial " + Hex(status) + " " + Hex(count);
  }
  return "error";
}

std::string Answer(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "start") {
    const AcqHarnessStart start = AcqHarnessStartModule();
    return "started " + Hex(start.detection[0]);
  }
  if (command == "block") {
    g_block.clear();
    std::uint32_t word = 0;
    while (in >> std::hex >> word) g_block.push_back(word);
    return "block " + std::to_string(g_block.size() / 2);
  }
  if (command == "showblock")
    return "block" + Words(reinterpret_cast<const std::uint8_t*>(g_block.data()), g_block.size() * 4);
  if (command == "cmd") return Command(in);
  if (command == "serial") return Serial(in);
  return "error";
}

}  // namespace

int main() { return AcqHarnessServe(Answer); }
