// Requests to the boards' servers as a client of the SDK builds them: the
// payload bytes, server handles, one request and its answer, all through
// "QelApi.dll" loaded by name.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/sdk/qelapi.h"
#include "platform/win/library.h"
#include "source/QelAPI/QelHandle.h"

namespace sdk_requests {

using Bytes = std::vector<std::uint8_t>;

// The SDK's library, loaded by the client.
inline plat::ModuleHandle& SdkModule() {
  static plat::ModuleHandle module = nullptr;
  return module;
}

template <typename Fn>
Fn Sdk(const char* name) {
  return reinterpret_cast<Fn>(plat::get_proc_address(SdkModule(), name));
}

inline void Put(Bytes& out, const void* data, std::size_t size) {
  const std::size_t at = out.size();
  out.resize(at + size);
  std::memcpy(out.data() + at, data, size);
}
inline void Word(Bytes& out, std::uint32_t value) { Put(out, &value, sizeof value); }
inline void Quad(Bytes& out, std::uint64_t value) { Put(out, &value, sizeof value); }
inline Bytes With(Bytes request, std::initializer_list<std::uint32_t> words) {
  for (std::uint32_t word : words) Word(request, word);
  return request;
}

inline Bytes ServerHandle(std::uint32_t address) {
  QelHandle handle{};
  handle.server = address;
  handle.tag = kQelTagServer;
  Bytes out;
  Put(out, &handle, sizeof handle);
  return out;
}
inline std::uint32_t BoardServer(std::uint32_t board) { return 0x01DE0000u | ((board + 1) << 8); }
// A buffer asked for on behalf of the host server lives in the client's memory.
inline constexpr std::uint32_t kHostServer = 0x01000000;

struct Answer {
  std::uint32_t status = 0xFFFFFFFF;  // the request never got an answer
  Bytes payload;
  // A handle the answer carries first (zeros when none).
  Bytes Handle() const { return payload.size() >= 32 ? Bytes(payload.begin(), payload.begin() + 32) : Bytes(32, 0); }
  std::uint32_t Value() const {
    std::uint32_t value = 0;
    if (payload.size() >= 4) std::memcpy(&value, payload.data(), 4);
    return value;
  }
};

// The three entries one request takes, looked up by name once: a client
// that sends many requests binds them once rather than per request.
struct RequestEntries {
  qelapi::QelManAllocRequestFn allocRequest = nullptr;
  qelapi::QelManSendRequestFn sendRequest = nullptr;
  qelapi::QelManFreeMessageFn freeMessage = nullptr;
};

inline RequestEntries BindRequestEntries() {
  using namespace qelapi;
  return {Sdk<QelManAllocRequestFn>("QelManAllocRequest"), Sdk<QelManSendRequestFn>("QelManSendRequest"),
          Sdk<QelManFreeMessageFn>("QelManFreeMessage")};
}

inline Answer Send(const RequestEntries& entries, const qelapi::QelServerHandle& server, std::uint32_t command,
                   const Bytes& payload) {
  using namespace qelapi;
  Answer result;
  void* request = nullptr;
  const auto size = static_cast<std::uint32_t>(std::max(payload.size(), sizeof server));
  if (entries.allocRequest(&server, command, size, &request) != kSdkOk) return result;
  std::memcpy(static_cast<std::uint8_t*>(request) + sizeof(QelSdkMessageHeader), payload.data(), payload.size());
  void* answer = nullptr;
  if (entries.sendRequest(request, 60000, &answer) != kSdkOk) return result;
  const auto* header = static_cast<const QelSdkMessageHeader*>(answer);
  const auto* bytes = static_cast<const std::uint8_t*>(answer);
  result.status = header->command;
  result.payload.assign(bytes + sizeof *header, bytes + header->size);
  entries.freeMessage(answer);
  return result;
}

inline Answer Send(const qelapi::QelServerHandle& server, std::uint32_t command, const Bytes& payload) {
  return Send(BindRequestEntries(), server, command, payload);
}

// To board B's server, found by its name.
inline Answer SendToBoard(std::uint32_t board, std::uint32_t command, const Bytes& payload) {
  qelapi::QelServerHandle server{};
  const std::string name = "Tramond-CL_RZ6_" + std::to_string(board + 1);
  if (Sdk<qelapi::QelManGetServerByNameFn>("QelManGetServerByName")(name.c_str(), &server) != qelapi::kSdkOk)
    return Answer{};
  return Send(server, command, payload);
}

}  // namespace sdk_requests
