#include "source/QelAPI/QelCapiCallback.h"

#include <cstring>
#include <vector>

#include "source/QelAPI/QelCapiExchange.h"

namespace {

constexpr QelStatus kNotAServer = 0x3001501;
constexpr std::uint32_t kCallbackCommand = 1005;
constexpr std::uint32_t kFunctionCommand = 1012;
constexpr std::uint32_t kDescriptorAt = 88 - 36;  // from the payload's start
constexpr std::uint32_t kDescriptorBytes = 64;

bool IsServer(const QelHandle* handle) { return HandleIsReadable(handle) && handle->tag == kQelTagServer; }

void FillBytes(const void* context, QelMessageHeader* request) {
  const auto* bytes = static_cast<const std::vector<std::uint8_t>*>(context);
  std::memcpy(request + 1, bytes->data(), bytes->size());
}

template <typename T>
void Append(std::vector<std::uint8_t>& bytes, const T& value) {
  const auto* at = reinterpret_cast<const std::uint8_t*>(&value);
  bytes.insert(bytes.end(), at, at + sizeof value);
}

QelStatus Exchange(const QelHandle* server, std::uint32_t command, const std::vector<std::uint8_t>& payload) {
  const QelCapiCall call{server->server,
                         command,
                         static_cast<std::uint32_t>(sizeof(QelMessageHeader) + payload.size()),
                         false,
                         GetCommTimeout(),
                         FillBytes,
                         &payload,
                         nullptr,
                         nullptr};
  return QelCapiExchange(call);
}

}  // namespace

QelStatus QelManSendCallback(const QelHandle* server, std::uint32_t, std::uint64_t callback, std::uint64_t context,
                             std::uint32_t eventType, std::uint32_t eventCount) {
  if (!IsServer(server)) return kNotAServer;
  if (callback == 0) return 0x3000236;
  std::vector<std::uint8_t> payload;
  Append(payload, *server);
  Append(payload, callback);
  Append(payload, context);
  Append(payload, eventType);
  Append(payload, eventCount);
  return Exchange(server, kCallbackCommand, payload);
}

QelStatus QelManCallServerFunctionEx(const QelHandle* server, std::uint32_t, std::uint64_t function,
                                     std::uint64_t context, std::uint32_t value,
                                     const QelEventDescriptor* descriptor, const std::uint32_t* array,
                                     const void* block) {
  if (!IsServer(server)) return kNotAServer;
  if (function == 0) return 0x3000236;
  if (descriptor == nullptr) return 0x3000536;
  if (descriptor->count != 0 && array == nullptr) return 0x3000636;
  if (descriptor->words[8] != 0 && block == nullptr) return 0x3000736;
  std::vector<std::uint8_t> payload;
  Append(payload, *server);
  Append(payload, function);
  Append(payload, context);
  Append(payload, value);
  payload.resize(kDescriptorAt);
  Append(payload, descriptor->word0);
  Append(payload, descriptor->count);
  Append(payload, descriptor->flag);
  Append(payload, descriptor->value1);
  Append(payload, descriptor->value2);
  Append(payload, descriptor->words);
  static_assert(sizeof descriptor->words == kDescriptorBytes - 28);
  const auto* arrayBytes = reinterpret_cast<const std::uint8_t*>(array);
  if (descriptor->count != 0) payload.insert(payload.end(), arrayBytes, arrayBytes + 4ull * descriptor->count);
  const auto* blockBytes = static_cast<const std::uint8_t*>(block);
  if (descriptor->words[8] != 0) payload.insert(payload.end(), blockBytes, blockBytes + descriptor->words[8]);
  return Exchange(server, kFunctionCommand, payload);
}
