// The manager module: SDK manager commands 1000 to 1018 for this board's
// server. Requests carry the 36-byte header, the 32-byte server handle at
// offset 36 and their fields from offset 68. Every handler allocates its
// answer, checks the request's size (0x3000000 | (argument << 8) | 0x35 when
// short, the handle counting as argument 1 and each field after it as the
// next), validates the handle, puts the status into answer word 7 and sends
// it. Handlers only read the request; the deliverer frees it.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelApi.h"

inline constexpr std::uint32_t kManFirstCommand = 1000;
inline constexpr std::uint32_t kManLastCommand = 1018;
// The largest answer payload a client's output size may ask for.
inline constexpr std::uint32_t kManLargestOutput = 1u << 20;

// Registers the 19-entry table for ids 1000-1018 (first installation step).
QelStatus ManServerInit(HostFuncHandler** token);

// Client functions that the server calls in this process.
using ManPrivateCallbackFn = std::uint32_t (*)(std::uint32_t code, const void* input, std::uint32_t inputSize,
                                               void* output, std::uint32_t outputSize);
using ManClientCallbackFn = std::uint32_t (*)(std::uint64_t context, std::uint32_t eventType,
                                              std::uint32_t eventCount);
using ManClientFunctionFn = std::uint32_t (*)(std::uint32_t value, const void* input, std::uint32_t inputSize,
                                              void* output, std::uint32_t outputSize, std::uint64_t argument);
using ManEventFunctionFn = std::uint32_t (*)(std::uint64_t context, QelHandle* eventInfo);

// The operations behind the handlers.
QelStatus ManPrivateCallback(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                             void* output, std::uint32_t outputSize);
void ManSetPrivateCallback(std::uint64_t callback);
QelStatus ManExecuteCallback(std::uint64_t function, std::uint64_t context, std::uint32_t eventType,
                             std::uint32_t eventCount);
QelStatus ManCallFunction(std::uint64_t function, std::uint32_t value, const void* input, std::uint32_t inputSize,
                          void* output, std::uint32_t outputSize, std::uint64_t argument);
QelStatus ManCallFunctionEx(std::uint32_t server, std::uint64_t function, std::uint64_t context,
                            std::uint32_t eventType, const QelEventDescriptor* descriptor,
                            const std::uint32_t* firstArray, const void* data);
QelStatus GetInstallationDirectory(char* text, std::uint32_t size);
void ManLogMessage(std::uint32_t level, const char* text, const char* file, std::int32_t line);

// True when the address lies in the code of a module of this process: the
// only client function addresses the server calls.
bool ManIsCallable(std::uint64_t function);
