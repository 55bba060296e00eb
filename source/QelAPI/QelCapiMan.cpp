// The manager stubs of commands 1000-1018.
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelCapiExchange.h"
#include "source/QelAPI/QelCapiManSend.h"

using capiman::Body;

namespace {

constexpr std::uint32_t kLastPrivateCode = 0x5FFFFFFF;
constexpr std::uint32_t kControlText = 0x80000027;
constexpr std::uint32_t kControlTextHead = 32;
constexpr std::uint32_t kControlTextLimit = 1024;
constexpr std::uint32_t kReadyProbe = 0x80000019;
constexpr std::uint32_t kReadyProbeWaitMs = 1000;
constexpr auto kReadyPause = std::chrono::milliseconds(500);
constexpr std::uint32_t kNotReady = 104;

QelStatus Simple(const QelHandle* server, std::uint32_t command, const Body& body, void* output = nullptr,
                 std::uint32_t outputSize = 0) {
  capiman::Exchange exchange{server, command, &body};
  exchange.output = output;
  exchange.outputSize = outputSize;
  return capiman::Send(exchange);
}

// 1000 and 1006: code, sizes, the input; the output comes back.
QelStatus CodeWithData(const QelHandle* server, std::uint32_t command, std::uint32_t code, const void* input,
                       std::uint32_t inputSize, void* output, std::uint32_t outputSize) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (const QelStatus status = capiman::CheckRange(input, inputSize, 3); status != QEL_OK)
    return CAPIMAN_REFUSE(status);
  if (const QelStatus status = capiman::CheckRange(output, outputSize, 5); status != QEL_OK)
    return CAPIMAN_REFUSE(status);
  Body body(server);
  body.Word(code).Word(inputSize).Word(outputSize).Bytes(input, inputSize);
  return Simple(server, command, body, output, outputSize);
}

// 1007-1009: a handle in a new heap block.
QelStatus NewHandle(const QelHandle* server, std::uint32_t command, const Body& body, QelHandle** out) {
  if (out == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (3u << 8) | 0x36u);
  *out = nullptr;
  auto* handle = new (std::nothrow) QelHandle{};
  if (handle == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | kQelKindOutOfMemory);
  const QelStatus status = Simple(server, command, body, handle, sizeof *handle);
  if (status != QEL_OK) {
    delete handle;
    return status;
  }
  *out = handle;
  return QEL_OK;
}

QelStatus NamedHandle(const QelHandle* server, std::uint32_t command, const char* name, QelHandle** out) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (name == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (2u << 8) | 0x36u);
  Body body(server);
  body.Name(name);
  return NewHandle(server, command, body, out);
}

QelStatus HandleOnly(const QelHandle* server, std::uint32_t command) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  return Simple(server, command, Body(server));
}

}  // namespace

QelStatus QelManSendPrivateCode(const QelHandle* server, std::uint32_t code, const void* input,
                                std::uint32_t inputSize, void* output, std::uint32_t outputSize) {
  return CodeWithData(server, 1000, code, input, inputSize, output, outputSize);
}

QelStatus QelManPrivateCommand(const QelHandle* server, std::uint32_t code, const void* input,
                               std::uint32_t inputSize, void* output, std::uint32_t outputSize) {
  if (code > kLastPrivateCode) return CAPIMAN_REFUSE(kQelManBadCode);
  return QelManSendPrivateCode(server, code + kQelManPrivateCodeBase, input, inputSize, output, outputSize);
}

QelStatus QelManControl(const QelHandle* server, std::uint32_t code, const void* input, std::uint32_t inputSize,
                        void* output, std::uint32_t outputSize) {
  return CodeWithData(server, 1006, code, input, inputSize, output, outputSize);
}

QelStatus QelManControlText(const QelHandle* server, const char* text) {
  if (text == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (2u << 8) | 0x36u);
  const std::size_t length = strnlen(text, kControlTextLimit);
  if (length == kControlTextLimit) return CAPIMAN_REFUSE(kQelModuleManager | (2u << 8) | 0x35u);
  std::uint8_t head[kControlTextHead] = {};
  head[8] = 2;
  std::uint8_t answer[kControlTextHead] = {};
  std::string input(reinterpret_cast<const char*>(head), sizeof head);
  input.append(text, length + 1);
  const QelStatus status = QelManControl(server, kControlText, input.data(), static_cast<std::uint32_t>(input.size()),
                                         answer, sizeof answer);
  if (status != QEL_OK) return status;
  std::uint32_t result = 0;
  std::memcpy(&result, answer + 12, sizeof result);
  return result == 0 ? QEL_OK : kQelModuleManager | (1u << 8) | 0x32u;
}

QelStatus QelManWaitForServerReady(const QelHandle* server, std::uint32_t timeoutSeconds) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  const auto start = std::chrono::steady_clock::now();
  Body body(server);
  body.Word(kReadyProbe).Word(0).Word(4);
  for (;;) {
    if (!ApiLock()) {
      LogPutLog(kQelLogError, __FILE__, __LINE__, "QelManWaitForServerReady => QelManLock Timeout");
      return kQelManNotReady;
    }
    std::uint32_t word = 0;
    capiman::Exchange exchange{server, 1006, &body};
    exchange.timeoutMs = kReadyProbeWaitMs;
    exchange.output = &word;
    exchange.outputSize = sizeof word;
    const QelStatus status = capiman::Send(exchange);
    ApiUnlock();
    const std::uint32_t kind = status & 0xFFu;
    if (kind != kNotReady && kind != kQelCapiLockNotHad) return QEL_OK;
    if (std::chrono::steady_clock::now() - start >= std::chrono::seconds(timeoutSeconds)) return kQelManNotReady;
    std::this_thread::sleep_for(kReadyPause);
  }
}

QelStatus QelManSetCallback(const QelHandle* server, std::uint64_t callback) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  Body body(server);
  body.Quad(callback);
  return Simple(server, 1003, body);
}

QelStatus QelManClearCallback(const QelHandle* server) { return HandleOnly(server, 1004); }

QelStatus QelManCallServerFunction(const QelHandle* server, std::uint32_t id, std::uint64_t function,
                                   std::uint64_t context, std::uint32_t value, const void* input,
                                   std::uint32_t inputSize, void* output, std::uint32_t outputSize) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (function == 0) return CAPIMAN_REFUSE(kQelModuleManager | (2u << 8) | 0x36u);
  if (const QelStatus status = capiman::CheckRange(input, inputSize, 5); status != QEL_OK)
    return CAPIMAN_REFUSE(status);
  if (const QelStatus status = capiman::CheckRange(output, outputSize, 7); status != QEL_OK)
    return CAPIMAN_REFUSE(status);
  Body body(server);
  body.Quad(function).Quad(context).Word(value).Word(inputSize).Word(outputSize).Bytes(input, inputSize);
  capiman::Exchange exchange{server, 1010, &body, id};
  exchange.output = output;
  exchange.outputSize = outputSize;
  return capiman::Send(exchange);
}

QelStatus QelManCommand1007(const QelHandle* server, const char* name, QelHandle** out) {
  return NamedHandle(server, 1007, name, out);
}

QelStatus QelManCommand1008(const QelHandle* server, std::uint32_t value, QelHandle** out) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  Body body(server);
  body.Word(value);
  return NewHandle(server, 1008, body, out);
}

QelStatus QelManCommand1009(const QelHandle* server, const char* name, QelHandle** out) {
  return NamedHandle(server, 1009, name, out);
}

QelStatus QelManGetInstallDirectory(const QelHandle* server, char* text, std::uint32_t size) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (text == nullptr || size == 0) return CAPIMAN_REFUSE(kQelModuleManager | (2u << 8) | 0x36u);
  char directory[kQelManInstallDirectorySize + 1] = {};
  const QelStatus status = Simple(server, 1011, Body(server), directory, kQelManInstallDirectorySize);
  if (status != QEL_OK) return status;
  const std::uint32_t room = std::min(size, kQelManInstallDirectorySize);
  const std::size_t length = strnlen(directory, room - 1);
  std::memcpy(text, directory, length);
  text[length] = '\0';
  return QEL_OK;
}

QelStatus QelManConnect(const QelHandle* server) { return HandleOnly(server, 1013); }
QelStatus QelManDisconnect(const QelHandle* server) { return HandleOnly(server, 1014); }

QelStatus QelManCommand1015(const QelHandle* server, std::uint32_t* first, std::uint32_t* second) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (first == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (2u << 8) | 0x36u);
  if (second == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (3u << 8) | 0x36u);
  std::uint32_t words[2] = {};
  const QelStatus status = Simple(server, 1015, Body(server), words, sizeof words);
  *first = words[0];
  *second = words[1];
  return status;
}

QelStatus QelManCommand1016(const QelHandle* server, std::uint32_t first, std::uint32_t second,
                            std::uint32_t* out) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (out == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (4u << 8) | 0x36u);
  Body body(server);
  body.Word(first).Word(second);
  return Simple(server, 1016, body, out, sizeof *out);
}

QelStatus QelManCommand1017(const QelHandle* server, std::uint32_t first, std::uint32_t second, char* text,
                            std::uint32_t size) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (const QelStatus status = capiman::CheckRange(text, size, 4); status != QEL_OK) return CAPIMAN_REFUSE(status);
  Body body(server);
  body.Word(first).Word(second).Word(size);
  std::string answer(kQelCapiNameField + 1, '\0');
  const QelStatus status = Simple(server, 1017, body, answer.data(), kQelCapiNameField);
  if (status != QEL_OK) return status;
  const std::size_t length = strnlen(answer.data(), kQelCapiNameField);
  if (length + 1 > size) return kQelModuleManager | (5u << 8) | 0x35u;
  std::memcpy(text, answer.data(), length + 1);
  return QEL_OK;
}

QelStatus QelManCommand1018(const QelHandle* server, std::uint32_t value, std::uint32_t* out) {
  if (!capiman::IsServer(server)) return CAPIMAN_REFUSE(kQelManBadServer);
  if (out == nullptr) return CAPIMAN_REFUSE(kQelModuleManager | (3u << 8) | 0x36u);
  Body body(server);
  body.Word(value);
  return Simple(server, 1018, body, out, sizeof *out);
}
