// What the helper processes on the road of the SDK's users share: "QelApi.dll"
// loaded by name and its entries bound by name, a request to a board's server
// with its answer as one line, and the server driver built into a helper,
// published through the SDK as the device-control module publishes it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelManagerInterface.h"
#include "firmware/win32/QuilletShared.h"
#include "platform/sdk/qelapi.h"
#include "platform/win/library.h"
#include "source/QelAPI/QelApi.h"
#include "source/firmware/HostFirmware.h"

namespace sdk_client {

inline plat::ModuleHandle& Library() {
  static plat::ModuleHandle library = nullptr;
  return library;
}

// False when the SDK's library is not there.
inline bool Load() {
  Library() = plat::load_library(qelapi::kLibraryName);
  return Library() != nullptr;
}

template <typename Fn>
Fn Sdk(const char* name) {
  return reinterpret_cast<Fn>(plat::get_proc_address(Library(), name));
}

// Sends an allocated request and waits for its answer:
// "<send status> <answer status> <answer payload hex>", or "<send status> - -".
inline std::string Exchange(void* request, std::uint32_t timeoutMs) {
  using namespace qelapi;
  void* answer = nullptr;
  const std::uint32_t status = Sdk<QelManSendRequestFn>("QelManSendRequest")(request, timeoutMs, &answer);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  const auto* h = static_cast<const QelSdkMessageHeader*>(answer);
  const std::string reply = std::to_string(h->command) + " " +
                            helper::Hex(static_cast<const std::uint8_t*>(answer) + sizeof *h, h->size - sizeof *h);
  Sdk<QelManFreeMessageFn>("QelManFreeMessage")(answer);
  return "0 " + reply;
}

// A request to board `board`'s server whose payload from offset 36 is `hex`.
inline std::string Send(std::uint32_t board, std::uint32_t command, const std::string& hex,
                        std::uint32_t timeoutMs = 30000) {
  using namespace qelapi;
  QelServerHandle server{};
  const std::string name = kBoardServerPrefix + std::to_string(board + 1);
  std::uint32_t status = Sdk<QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server);
  const std::vector<std::uint8_t> payload = helper::Bytes(hex);
  void* request = nullptr;
  const auto size = static_cast<std::uint32_t>(std::max(payload.size(), sizeof server));
  if (status == kSdkOk) status = Sdk<QelManAllocRequestFn>("QelManAllocRequest")(&server, command, size, &request);
  if (status != kSdkOk) return std::to_string(status) + " - -";
  std::memcpy(static_cast<std::uint8_t*>(request) + sizeof(QelSdkMessageHeader), payload.data(), payload.size());
  return Exchange(request, timeoutMs);
}

// ---- The server driver built into the helper ----------------------------------------
inline QelManagerInterface*& Face() {
  static QelManagerInterface* face = nullptr;
  return face;
}

template <typename Fn>
Fn Slot(QelManagerSlot which) {
  return ManagerSlotAs<Fn>(*Face(), which);
}

inline std::uint32_t Relay(void* message) { return Slot<ManDeliverMessageFn>(kManDeliverMessage)(message); }

inline std::uint32_t SendOut(void* message) {
  using namespace qelapi;
  if (!Sdk<QelManLockFn>("QelManLock")()) return 107;
  Sdk<QelManSendAnswerFn>("QelManSendAnswer")(message);
  Sdk<QelManUnlockFn>("QelManUnlock")();
  return 0;
}

// Opens the instance in server mode and publishes one server per board, as
// the device-control module does.
inline std::uint32_t Host() {
  using namespace qelapi;
  QuilletGetSharedData();
  Face() = &QuilletManagerInterface();
  FillManagerInterface(*Face());
  QelApiInstallDispatch();
  Slot<ManSetAnswerCallbackFn>(kManSetAnswerCallback)(SendOut);
  std::uint32_t status = Slot<ManInitInstanceFn>(kManInitInstance)(1);
  if (status != 0 || !Sdk<QelManLockFn>("QelManLock")()) return status != 0 ? status : 107;
  std::uint32_t address = 0, boards = 0;
  status = Sdk<QelManInstallPortServerFn>("QelManInstallPortServer")(62, Relay, 0);
  if (status == 0) status = Sdk<QelManNewPortFn>("QelManNewPort")(kModulePort, 62);
  if (status == 0) status = Sdk<QelManGetPortAddressFn>("QelManGetPortAddress")(kModulePort, &address);
  if (status == 0) {
    Slot<ManSetServerAddressFn>(kManSetServerAddress)(address);
    Slot<ManGetNBoardsFn>(kManGetNBoards)(&boards);
  }
  for (std::uint32_t board = 0; status == 0 && board < boards; ++board)
    status = Sdk<QelManAddServerToDatabaseFn>("QelManAddServerToDatabase")(
        (kBoardServerPrefix + std::to_string(board + 1)).c_str(),
        (address & 0xFFFFFF) | ((board + 1) << 8) | 0x1000000);
  Sdk<QelManUnlockFn>("QelManUnlock")();
  return status;
}

}  // namespace sdk_client
