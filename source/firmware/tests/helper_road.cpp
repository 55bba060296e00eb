// A process on the road of the SDK's users: "QelApi.dll" loaded by name and
// used through its client API; opening the SDK loads the configured module
// ("Ormel.VKM"), which loads the server driver and opens its instance. Driven
// line by line:
//   open | close                  the SDK                                   -> "open <s>" | "close <s>"
//   env <name> <value>            sets an environment variable              -> "env 0"
//   find <name>                   a server by name                          -> "found <s> <address>"
//   call <name> <cmd> [hex]       a request (payload after the handle)      -> "answer <send s> <status> <hex>"
//   callh <name> <cmd> <hex>      a request whose payload, a handle first, is given whole -> as call
//   counter                       the server driver's shared open counter   -> "counter <n>"
//   ports                         use count of the server driver's port 0   -> "ports <n>"
//   functions                     addresses of this process's functions     -> "functions <private> <callback> <function> <event>"
//   lock | unlock                 the SDK's manager lock                    -> "lock <r>" | "unlock <r>"
//   holdmutex | releasemutex      the instance's named mutex                -> "mutex <1 when held>"
//   eeprom <b> <e> <off> <n>      the server driver's EEPROM read slot      -> "eeprom <s> <hex>"
//   eepromwrite <b> <e> <off> <hex>                                         -> "eepromwrite <s>"
//   flashwrite <b> <sec> <addr> <hex> | flashread <b> <sec> <addr> <n>      -> "flash <s> [<hex>]"
//   rawread <b> <e> <off> <n>     the board library's EEPROM read, untranslated -> "raw <board status> <translated>"
//   vkm <mode> | vkmclose         the module opened without the SDK          -> "vkm <s>"
//   fields <b> <field>            field functions of the module              -> "fields <count s> <n> <info s> <name> <kind> <read s> <text>"
//   fieldwrite <b> <field> <text>                                            -> "fieldwrite <s>"
//   blocks                        messages in use in the machine's pool       -> "blocks <n>"
//   hostbuf <n>                   a zeroed host buffer of n bytes in this process -> "hostbuf <address>"
//   hostpeek <off> <n>            bytes of that buffer                        -> "hostpeek <hex>"
//   ibuf <b> <bytes>              an internal buffer made and freed again      -> "ibuf <s> <on-board address>"
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/user/YatExtendedInterface.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QuilletShared.h"
#include "platform/sdk/qelapi.h"
#include "platform/win/environment.h"
#include "platform/win/library.h"
#include "platform/win/machine.h"
#include "platform/win/objects.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/tests/sdk_client.h"
#include "source/vkm/QelDevManCtrl.h"

using namespace qelapi;
using sdk_client::Sdk;

namespace {

plat::ModuleHandle g_vkm = nullptr;
plat::Handle g_mutex = plat::kNullHandle;

std::string MachineFile(const char* name) { return plat::machine_dir() + "/" + name; }

void Append(const std::string& line) {
  std::ofstream(MachineFile("calls"), std::ios::app) << line << "\n";
}

// Command 1000's private callback: code 0xA0000001 blocks, with the API lock
// released by its caller, until the file "release" exists.
std::uint32_t PrivateCallback(std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                              std::uint32_t outputSize) {
  if (code == 0xA0000001) {
    std::ofstream(MachineFile("blocked")) << "1\n";
    for (int i = 0; i < 3000 && ::access(MachineFile("release").c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string reply = "code " + std::to_string(code) + " " + std::string(static_cast<const char*>(input), inputSize);
  std::memcpy(output, reply.c_str(), std::min<std::size_t>(outputSize, reply.size()));
  return code == 0xA0000002 ? 5 : 0;
}

// Command 1005's client callback.
std::uint32_t ClientCallback(std::uint64_t context, std::uint32_t type, std::uint32_t count) {
  Append("callback " + std::to_string(context) + " " + std::to_string(type) + " " + std::to_string(count) + " " +
         std::to_string(::getpid()));
  return 99;
}

// Command 1010's client function: the input reversed, 9 for the value 7.
std::uint32_t ClientFunction(std::uint32_t value, const void* input, std::uint32_t inputSize, void* output,
                             std::uint32_t outputSize, std::uint64_t argument) {
  const auto* in = static_cast<const std::uint8_t*>(input);
  auto* out = static_cast<std::uint8_t*>(output);
  for (std::uint32_t i = 0; i < inputSize && i < outputSize; ++i) out[i] = in[inputSize - 1 - i];
  Append("function " + std::to_string(value) + " " + std::to_string(argument));
  return value == 7 ? 9 : 0;
}

// Command 1012's event function.
std::uint32_t EventFunction(std::uint64_t context, QelHandle* info) {
  Append("event " + std::to_string(context) + " " + std::to_string(info != nullptr ? info->tag : 0));
  return 0;
}

std::string Call(const std::string& name, std::uint32_t command, const std::string& hex, bool whole = false) {
  QelServerHandle server{};
  std::uint32_t status = Sdk<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  const std::vector<std::uint8_t> payload = helper::Bytes(hex);
  void* request = nullptr;
  const std::size_t at = whole ? 0 : sizeof server;
  status = Sdk<QelManAllocRequestFn>("QelManAllocRequest")(
      &server, command, static_cast<std::uint32_t>(at + std::max(payload.size(), whole ? sizeof server : 0)), &request);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  if (!payload.empty())
    std::memcpy(static_cast<std::uint8_t*>(request) + sizeof(QelSdkMessageHeader) + at, payload.data(), payload.size());
  return sdk_client::Exchange(request, 20000);
}

// The server driver this process has loaded (through the module).
QelManagerInterface* Manager() {
  plat::ModuleHandle driver = plat::find_loaded_library("Quillet.DLL");
  if (driver == nullptr) return nullptr;
  auto get = reinterpret_cast<GetManagerInterfaceFn>(plat::get_proc_address(driver, "GetManagerInterface"));
  return get != nullptr ? get() : nullptr;
}

QelDevManCtrlInterface Fields() {
  QelDevManCtrlInterface face{};
  plat::ModuleHandle module = plat::find_loaded_library("Ormel.VKM");
  auto get = module ? reinterpret_cast<QelDevManCtrlGetInterfaceFn>(plat::get_proc_address(module, kQelDevManCtrlGetInterfaceName))
                    : nullptr;
  if (get != nullptr) get(&face, sizeof face);
  return face;
}

std::string Eeprom(std::istringstream& in, bool write) {
  QelManagerInterface* face = Manager();
  if (face == nullptr) return "nodriver";
  const std::uint32_t board = helper::Number(in), eeprom = helper::Number(in), offset = helper::Number(in);
  if (write) {
    std::string hex;
    in >> hex;
    std::vector<std::uint8_t> bytes = helper::Bytes(hex);
    const auto fn = ManagerSlotAs<ManEepromFn>(*face, kManEepromWriteData);
    return "eepromwrite " + std::to_string(fn(board, eeprom, offset, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  }
  std::vector<std::uint8_t> bytes(helper::Number(in));
  const auto fn = ManagerSlotAs<ManEepromFn>(*face, kManEepromReadData);
  const std::uint32_t status = fn(board, eeprom, offset, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return "eeprom " + std::to_string(status) + " " + helper::Hex(bytes.data(), bytes.size());
}

std::string Flash(std::istringstream& in, bool write) {
  QelManagerInterface* face = Manager();
  if (face == nullptr) return "nodriver";
  const std::uint32_t board = helper::Number(in), section = helper::Number(in), address = helper::Number(in);
  std::vector<std::uint8_t> bytes;
  if (write) {
    std::string hex;
    in >> hex;
    bytes = helper::Bytes(hex);
  } else {
    bytes.resize(helper::Number(in));
  }
  const auto fn = ManagerSlotAs<ManFlashFn>(*face, write ? kManFlashWrite : kManFlashRead);
  const std::uint32_t status = fn(board, section, address, static_cast<std::uint32_t>(bytes.size()), bytes.data());
  return "flash " + std::to_string(status) + (write ? "" : " " + helper::Hex(bytes.data(), bytes.size()));
}

std::string RawRead(std::istringstream& in) {
  QelHwExtendedInterface face{};
  QelHw_Man_GetExtendedInterface(&face, sizeof face);
  const std::uint32_t board = helper::Number(in), eeprom = helper::Number(in), offset = helper::Number(in);
  std::vector<std::uint8_t> bytes(helper::Number(in));
  const QelHwStatus status = face.eepromRead(board, eeprom, offset, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return "raw " + std::to_string(status) + " " + std::to_string(TranslateStatus(status));
}

std::string Vkm(std::uint32_t mode) {
  if (g_vkm == nullptr) g_vkm = plat::load_library("Ormel.VKM");
  auto get = g_vkm ? reinterpret_cast<QelVkmGetControlFn>(plat::get_proc_address(g_vkm, "QelVkmGetControl")) : nullptr;
  QelVkmControl control{};
  if (get == nullptr || get(&control, sizeof control) != 0) return "vkm nomodule";
  return "vkm " + std::to_string(control.open_with_mode(mode));
}

std::string VkmClose() {
  auto get = g_vkm ? reinterpret_cast<QelVkmGetControlFn>(plat::get_proc_address(g_vkm, "QelVkmGetControl")) : nullptr;
  QelVkmControl control{};
  if (get == nullptr || get(&control, sizeof control) != 0) return "vkm nomodule";
  return "vkm " + std::to_string(control.close());
}

std::string FieldsOf(std::istringstream& in) {
  const QelDevManCtrlInterface face = Fields();
  if (face.QelInitBoard == nullptr) return "fields nomodule";
  const std::uint32_t board = helper::Number(in), field = helper::Number(in);
  std::uint32_t boards = 0, count = 0;
  face.QelInitBoard(&boards);
  const std::uint32_t countStatus = face.QelGetNbEepromField(board, 0, 0, &count);
  EepromFieldTemplate row{};
  const std::uint32_t infoStatus = face.QelGetEepromFieldInfo(board, 0, 0, field, &row, sizeof row);
  char text[256] = {};
  const std::uint32_t readStatus = face.QelReadEepromValue(board, 0, 0, field, text, sizeof text);
  std::string name(row.name);
  for (char& c : name)
    if (c == ' ') c = '_';
  return "fields " + std::to_string(countStatus) + " " + std::to_string(count) + " " + std::to_string(infoStatus) + " " +
         name + " " + std::to_string(row.listKind) + " " + std::to_string(readStatus) + " " + text;
}

std::string FieldWrite(std::istringstream& in) {
  const QelDevManCtrlInterface face = Fields();
  if (face.QelWriteEepromValue == nullptr) return "fieldwrite nomodule";
  const std::uint32_t board = helper::Number(in), field = helper::Number(in);
  std::string text;
  in >> text;
  return "fieldwrite " + std::to_string(face.QelWriteEepromValue(board, 0, 0, field, text.c_str()));
}

std::string Blocks() {
  plat::ModuleHandle memory = plat::find_loaded_library("QelMem.dll");
  auto status = memory ? reinterpret_cast<qelmem::QelMemGetMsgMemStatusFn>(
                             plat::get_proc_address(memory, "QelMemGetMsgMemStatus"))
                       : nullptr;
  qelmem::QelMemStatus pool{};
  if (status == nullptr || !status(&pool)) return "blocks fail";
  return "blocks " + std::to_string(pool.blocks_in_use);
}

// A buffer of this process whose address requests carry.
std::vector<std::uint8_t> g_hostBuffer;

std::string HostPeek(std::istringstream& in) {
  const std::size_t offset = helper::Number(in);
  const std::size_t count = helper::Number(in);
  if (offset > g_hostBuffer.size() || count > g_hostBuffer.size() - offset) return "hostpeek range";
  return "hostpeek " + helper::Hex(g_hostBuffer.data() + offset, count);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return "open " + std::to_string(Sdk<QelManOpenFn>("QelManOpen")());
  if (command == "close") return "close " + std::to_string(Sdk<QelManCloseFn>("QelManClose")());
  if (command == "env") {
    std::string name, value;
    in >> name >> value;
    return "env " + std::to_string(plat::set_environment_variable(name.c_str(), value.c_str()) ? 0 : 1);
  }
  if (command == "find") {
    std::string name;
    in >> name;
    QelServerHandle server{};
    const std::uint32_t status = Sdk<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
    return "found " + std::to_string(status) + " " + std::to_string(server.address);
  }
  if (command == "call" || command == "callh") {
    std::string name, hex;
    in >> name;
    const std::uint32_t id = helper::Number(in);
    in >> hex;
    return "answer " + Call(name, id, hex, command == "callh");
  }
  if (command == "counter") return "counter " + std::to_string(QuilletGetSharedData()->HostOpenCounter);
  if (command == "ports") return "ports " + std::to_string(QuilletGetSharedData()->host.ports[0].useCount);
  if (command == "functions")
    return "functions " + std::to_string(reinterpret_cast<std::uintptr_t>(&PrivateCallback)) + " " +
           std::to_string(reinterpret_cast<std::uintptr_t>(&ClientCallback)) + " " +
           std::to_string(reinterpret_cast<std::uintptr_t>(&ClientFunction)) + " " +
           std::to_string(reinterpret_cast<std::uintptr_t>(&EventFunction));
  if (command == "lock") return "lock " + std::to_string(Sdk<QelManLockFn>("QelManLock")());
  if (command == "unlock") return "unlock " + std::to_string(Sdk<QelManUnlockFn>("QelManUnlock")());
  if (command == "holdmutex") {
    g_mutex = plat::create_mutex(nullptr, false, kVeliskMutexName);
    return "mutex " + std::to_string(plat::wait_for_object(g_mutex, 5000) == plat::kWaitObject0 ? 1 : 0);
  }
  if (command == "releasemutex") return "mutex " + std::to_string(plat::release_mutex(g_mutex) ? 0 : 1);
  if (command == "eeprom") return Eeprom(in, false);
  if (command == "eepromwrite") return Eeprom(in, true);
  if (command == "flashwrite") return Flash(in, true);
  if (command == "flashread") return Flash(in, false);
  if (command == "rawread") return RawRead(in);
  if (command == "vkm") return Vkm(helper::Number(in));
  if (command == "vkmclose") return VkmClose();
  if (command == "fields") return FieldsOf(in);
  if (command == "fieldwrite") return FieldWrite(in);
  if (command == "blocks") return Blocks();
  if (command == "hostbuf") {
    g_hostBuffer.assign(helper::Number(in), 0);
    return "hostbuf " + std::to_string(reinterpret_cast<std::uintptr_t>(g_hostBuffer.data()));
  }
  if (command == "hostpeek") return HostPeek(in);
  if (command == "ibuf") {
    const std::uint32_t board = helper::Number(in);
    YatInternalBuffer buffer{};
    const QelHwStatus status = Yat_InternalBuffer_Create(board, 0, 0, helper::Number(in), &buffer);
    if (status == QELHW_OK) Yat_InternalBuffer_Free(&buffer);
    return "ibuf " + std::to_string(status) + " " + std::to_string(buffer.onboardAddress);
  }
  return "unknown " + command;
}

}  // namespace

int main() {
  if (!sdk_client::Load()) return 1;
  return helper::Serve(Run);
}
