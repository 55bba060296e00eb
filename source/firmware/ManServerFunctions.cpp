// What the manager commands do: the private-code callback, client functions
// called in this process, the installation directory, client log lines.
#include <atomic>
#include <cstring>

#include "platform/win/environment.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/ManServer.h"

namespace {

constexpr QelStatus kManager = kQelModuleManager;
constexpr std::uint32_t kFirstPrivateCode = 0xA0000000;
constexpr QelStatus kPrivateCodeRefused = 0x3000132;
constexpr QelStatus kNoPrivateCallback = 0x300004B;
constexpr QelStatus kNotCallable = kQelApiNotRegistered;  // 0x300004C
constexpr char kBoardLibraryLabel[] = "Pardow.DLL";

constinit std::atomic<std::uint64_t> g_privateCallback{0};

template <typename Fn>
Fn FunctionAt(std::uint64_t address) {
  return reinterpret_cast<Fn>(static_cast<std::uintptr_t>(address));
}

QelStatus Manager(QelStatus status) { return status == QEL_OK ? QEL_OK : (status | kManager); }

// One event-information object for one call of the client's event function.
QelStatus CallWithEventInfo(const QelHandle& server, ManEventFunctionFn function, std::uint64_t context,
                            std::uint32_t eventType, const QelEventDescriptor* descriptor, const void* data) {
  QelHandle* object = nullptr;
  const QelStatus made = QelEventInfoNew(&server, eventType, descriptor, data, &object);
  if (made != QEL_OK) return made;
  const QelStatus status = function(context, object);
  QelEventInfoFree(object);
  return status;
}

}  // namespace

bool ManIsCallable(std::uint64_t function) {
  return plat::address_in_module_code(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(function)));
}

void ManSetPrivateCallback(std::uint64_t callback) { g_privateCallback.store(callback); }

QelStatus ManPrivateCallback(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                             void* output, std::uint32_t outputSize) {
  if (code < kFirstPrivateCode) return kPrivateCodeRefused;
  const std::uint64_t callback = g_privateCallback.load();
  if (callback == 0) return kNoPrivateCallback;
  if (!ManIsCallable(callback)) return kNotCallable;
  return Manager(FunctionAt<ManPrivateCallbackFn>(callback)(code, input, inputSize, output, outputSize));
}

QelStatus ManExecuteCallback(std::uint64_t function, std::uint64_t context, std::uint32_t eventType,
                             std::uint32_t eventCount) {
  if (function == 0) return QEL_OK;
  if (!ManIsCallable(function)) return kNotCallable;
  FunctionAt<ManClientCallbackFn>(function)(context, eventType, eventCount);
  return QEL_OK;
}

QelStatus ManCallFunction(std::uint64_t function, std::uint32_t value, const void* input, std::uint32_t inputSize,
                          void* output, std::uint32_t outputSize, std::uint64_t argument) {
  if (function == 0) return kManager;
  if (!ManIsCallable(function)) return kNotCallable;
  return Manager(FunctionAt<ManClientFunctionFn>(function)(value, input, inputSize, output, outputSize, argument));
}

QelStatus ManCallFunctionEx(std::uint32_t server, std::uint64_t function, std::uint64_t context,
                            std::uint32_t eventType, const QelEventDescriptor* descriptor,
                            const std::uint32_t* firstArray, const void* data) {
  if (function == 0) return 0x3000136;
  if (descriptor == nullptr) return 0x3000436;
  if (descriptor->count != 0 && firstArray == nullptr) return 0x3000536;
  if (descriptor->words[8] != 0 && data == nullptr) return 0x3000636;
  if (!ManIsCallable(function)) return kNotCallable;
  const auto call = FunctionAt<ManEventFunctionFn>(function);
  QelHandle serverHandle{};
  serverHandle.server = server;
  serverHandle.tag = kQelTagServer;
  if (descriptor->flag == 0 && descriptor->count != 0) {
    for (std::uint32_t entry = 0; entry < descriptor->count; ++entry) {
      const QelStatus status = CallWithEventInfo(serverHandle, call, context, firstArray[entry], descriptor, data);
      if (status != QEL_OK) return status;
    }
    return QEL_OK;
  }
  return CallWithEventInfo(serverHandle, call, context, 0, descriptor, data);
}

QelStatus GetInstallationDirectory(char* text, std::uint32_t size) {
  if (size == 0) return 0x3000232;
  if (text == nullptr) return 0x3000132;
  char value[1024] = {};
  const std::uint32_t length = plat::get_environment_variable(kDriverDirVariable, value, sizeof value);
  if (length == 0 || length >= sizeof value) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s, GetInstallationDirectory(), Could not get Environment Variable '%s' ", kBoardLibraryLabel,
              kDriverDirVariable);
    return 0x3000032;
  }
  std::strncpy(text, value, size - 1);
  text[size - 1] = '\0';
  return QEL_OK;
}

void ManLogMessage(std::uint32_t level, const char* text, const char* file, std::int32_t line) {
  LogPutLog(level, file, line, "%s", text);
}
