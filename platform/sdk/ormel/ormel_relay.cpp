// The stand-in device-control module "Ormel.VKM": what the SDK opens through
// QelVkmGetControl. Its open loads the server driver, requires its ABI 100,
// sets the answer callback, opens the instance in server mode and publishes
// one server per board ("Tramond-CL_RZ6_<b+1>" at 0x01DE0000 | ((b + 1) << 8));
// each message for those servers is handed to the server driver's delivery
// slot on the SDK thread that received it, and whatever the server driver
// sends out goes back through the SDK. Its records and entry names are those
// of the device-control module, which replaces it.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/sdk/ormel/ormel_internal.h"
#include "platform/win/library.h"

using namespace qelapi;

namespace ormel {
namespace {

struct Sdk {
  QelManLockFn lock;
  QelManUnlockFn unlock;
  QelManInstallPortServerFn install_port_server;
  QelManUninstallPortServerFn uninstall_port_server;
  QelManNewPortFn new_port;
  QelManFreePortFn free_port;
  QelManGetPortAddressFn get_port_address;
  QelManAddServerToDatabaseFn add_server;
  QelManSetServerAccessibleFn set_server_accessible;
  QelManSendAnswerFn send_answer;
};

struct ModuleState {
  std::recursive_mutex guard;
  bool open = false;
  std::uint32_t mode = 0;
  plat::ModuleHandle driver = nullptr;
  QelManagerInterface* face = nullptr;
  Sdk sdk{};
  std::uint32_t published = 0;  // boards with a server
  std::uint32_t address = 0;    // the module port's address
};

ModuleState& state() {
  static auto* s = new ModuleState;  // SDK threads may still ask while the process ends
  return *s;
}

template <typename Fn>
bool bind(plat::ModuleHandle module, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(plat::get_proc_address(module, name));
  return *out != nullptr;
}

bool bind_sdk(Sdk& sdk) {
  plat::ModuleHandle m = plat::find_loaded_library(kLibraryName);
  return m && bind(m, "QelManLock", &sdk.lock) && bind(m, "QelManUnlock", &sdk.unlock) &&
         bind(m, "QelManInstallPortServer", &sdk.install_port_server) &&
         bind(m, "QelManUninstallPortServer", &sdk.uninstall_port_server) && bind(m, "QelManNewPort", &sdk.new_port) &&
         bind(m, "QelManFreePort", &sdk.free_port) && bind(m, "QelManGetPortAddress", &sdk.get_port_address) &&
         bind(m, "QelManAddServerToDatabase", &sdk.add_server) &&
         bind(m, "QelManSetServerAccessible", &sdk.set_server_accessible) &&
         bind(m, "QelManSendAnswer", &sdk.send_answer);
}

template <typename Fn>
Fn slot(QelManagerSlot which) {
  QelManagerInterface* face = state().face;
  return face != nullptr ? ManagerSlotAs<Fn>(*face, which) : nullptr;
}

std::string server_name(std::uint32_t board) { return kBoardServerPrefix + std::to_string(board + 1); }

std::uint32_t server_address(std::uint32_t board) {
  return (state().address & 0xFFFFFF) | ((board + 1) << 8) | 0x1000000;
}

// Port server 62 of the SDK: a message for one of the boards' servers.
std::uint32_t relay(void* message) {
  const auto deliver = slot<ManDeliverMessageFn>(kManDeliverMessage);
  if (deliver == nullptr) return kNotImplemented;
  const auto* h = static_cast<const QelSdkMessageHeader*>(message);
  const std::uint32_t board = ((h->destination >> 8) & 0xFF) - 1;
  if (board >= state().published) return kNotAvailable;
  // 0: the server driver took the message over.
  return deliver(message);
}

// The server driver's answer callback: everything its server sends out.
std::uint32_t send_to_sdk(void* message) {
  const Sdk& sdk = state().sdk;
  if (sdk.lock == nullptr || !sdk.lock()) return 107;
  // The SDK takes the message over, delivered or not.
  sdk.send_answer(message);
  sdk.unlock();
  return 0;
}

void unbind_driver(ModuleState& s) {
  if (s.driver != nullptr) plat::free_library(s.driver);
  s.driver = nullptr;
  s.face = nullptr;
}

std::uint32_t bind_driver(ModuleState& s) {
  s.driver = plat::load_library(kServerDriver);
  const auto get = s.driver ? reinterpret_cast<GetManagerInterfaceFn>(plat::get_proc_address(s.driver, "GetManagerInterface"))
                            : nullptr;
  s.face = get != nullptr ? get() : nullptr;
  std::uint32_t version = 0;
  const auto abi = slot<ManGetDriverAbiVersionFn>(kManGetDriverAbiVersion);
  if (s.face == nullptr || abi == nullptr || abi(&version) != 0 || version != kManDriverAbiVersion) {
    unbind_driver(s);
    return kOpenFailed;
  }
  return 0;
}

void withdraw_servers(ModuleState& s) {
  for (std::uint32_t board = 0; board < s.published; ++board)
    s.sdk.set_server_accessible(server_name(board).c_str(), server_address(board), 0);
  s.published = 0;
  s.sdk.free_port(kModulePort);
  s.sdk.uninstall_port_server(kHostPortServer);
}

// Under the SDK's lock: the port, then one server per board.
std::uint32_t publish_servers(ModuleState& s) {
  if (!s.sdk.lock()) return kOpenFailed;
  std::uint32_t status = s.sdk.install_port_server(kHostPortServer, relay, 0);
  if (status == 0) status = s.sdk.new_port(kModulePort, kHostPortServer);
  if (status == 0) status = s.sdk.get_port_address(kModulePort, &s.address);
  if (status == 0) {
    slot<ManSetServerAddressFn>(kManSetServerAddress)(s.address);
    std::uint32_t boards = 0;
    if (slot<ManGetNBoardsFn>(kManGetNBoards)(&boards) != 0) boards = 0;
    for (std::uint32_t board = 0; status == 0 && board < std::min(boards, kMaxBoards); ++board) {
      status = s.sdk.add_server(server_name(board).c_str(), server_address(board));
      if (status == 0) s.published = board + 1;
    }
  }
  if (status != 0) withdraw_servers(s);
  s.sdk.unlock();
  return status;
}

}  // namespace

QelManagerInterface* server_driver() { return state().face; }

bool module_is_open() {
  ModuleState& s = state();
  std::lock_guard guard(s.guard);
  return s.open;
}

std::uint32_t board_count() {
  const auto boards = slot<ManGetNBoardsFn>(kManGetNBoards);
  std::uint32_t count = 0;
  return boards != nullptr && boards(&count) == 0 ? count : 0;
}

std::uint32_t open_module_mode(std::uint32_t mode) {
  ModuleState& s = state();
  std::lock_guard guard(s.guard);
  if (s.open) return 0;
  if (mode != 0 && !bind_sdk(s.sdk)) return kOpenFailed;
  if (const std::uint32_t status = bind_driver(s); status != 0) return status;
  if (mode != 0) slot<ManSetAnswerCallbackFn>(kManSetAnswerCallback)(send_to_sdk);
  std::uint32_t status = slot<ManInitInstanceFn>(kManInitInstance)(mode);
  if (status == 0 && mode != 0) status = publish_servers(s);
  if (status != 0) {
    // What the failed open did is undone before the server driver goes; an
    // open refused for want of the instance mutex did nothing.
    if (status != kInstanceMutexNotHad) slot<ManCloseInstanceFn>(kManCloseInstance)();
    if (mode != 0) slot<ManSetAnswerCallbackFn>(kManSetAnswerCallback)(nullptr);
    unbind_driver(s);
    return status;
  }
  s.open = true;
  s.mode = mode;
  return 0;
}

std::uint32_t close_module() {
  ModuleState& s = state();
  std::lock_guard guard(s.guard);
  if (!s.open) return 0;
  if (s.mode != 0 && s.sdk.lock()) {
    withdraw_servers(s);
    s.sdk.unlock();
  }
  slot<ManCloseInstanceFn>(kManCloseInstance)();
  if (s.mode != 0) slot<ManSetAnswerCallbackFn>(kManSetAnswerCallback)(nullptr);
  unbind_driver(s);
  s.open = false;
  s.mode = 0;
  return 0;
}

}  // namespace ormel

namespace {

std::uint32_t open_full() { return ormel::open_module_mode(1); }
std::uint32_t close_full() { return ormel::close_module(); }
std::uint32_t open_with_mode(std::uint32_t mode) { return ormel::open_module_mode(mode); }

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t QelVkmGetControl(void* table, std::uint32_t size) {
  if (table == nullptr) return kSdkBadArgument;
  std::memset(table, 0, size);
  const QelVkmControl control{open_full, close_full, open_with_mode};
  std::memcpy(table, &control, std::min<std::size_t>(size, sizeof control));
  return 0;
}
