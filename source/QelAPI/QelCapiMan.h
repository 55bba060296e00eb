// The client side of the SDK's manager commands 1000-1018: each stub sends a
// request to the server its server handle names and returns the answer's
// status (and output), through the client exchange (QelCapiExchange.h)
// without the busy retry: a busy server's status comes back to the caller.
// Beside them the sender of client callbacks (1005) and a callback FIFO that
// holds callbacks for later delivery.
//
// A server handle is accepted when it is readable and tagged 0xcccc0040 (else
// 0x3001501). Pointers are checked before anything is sent: a null pointer
// with a non-zero size gives kind 0x36, an unusable range kind 0x35, the
// argument's position in the detail (the server handle being the first; a
// callback id is not counted). Every refusal is logged.
//
// A request's callback or function id travels in header word 6, which the
// answer copies: word 3 names the sender, and the answer finds its way back
// by it.
//
// Lock order: the API lock alone (the exchange's); the FIFO's queue side runs
// under it, its execution side relies on the FIFO's busy flag.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiCallback.h"
#include "source/QelAPI/QelHandle.h"

inline constexpr QelStatus kQelManBadServer = 0x3001501;
inline constexpr QelStatus kQelManNotReady = 0x3000362;
inline constexpr QelStatus kQelManBadCode = 0x3000233;
inline constexpr QelStatus kQelManBadFifoSize = 0x3000132;
inline constexpr std::uint32_t kQelManPrivateCodeBase = 0xA0000000;
inline constexpr std::uint32_t kQelManInstallDirectorySize = 256;

// ---- 1000 and 1006 ------------------------------------------------------------------
QelStatus QelManSendPrivateCode(const QelHandle* server, std::uint32_t code, const void* input,
                                std::uint32_t inputSize, void* output, std::uint32_t outputSize);
// Codes 0..0x5FFFFFFF, sent as code + 0xA0000000.
QelStatus QelManPrivateCommand(const QelHandle* server, std::uint32_t code, const void* input,
                               std::uint32_t inputSize, void* output, std::uint32_t outputSize);
QelStatus QelManControl(const QelHandle* server, std::uint32_t code, const void* input, std::uint32_t inputSize,
                        void* output, std::uint32_t outputSize);
QelStatus QelManControlText(const QelHandle* server, const char* text);
// Polls the server with manager control 0x80000019 until it answers other
// than 104 or 98; 0x3000362 once the time-out (seconds) has passed.
QelStatus QelManWaitForServerReady(const QelHandle* server, std::uint32_t timeoutSeconds);

// ---- Callbacks and client functions ---------------------------------------------------
QelStatus QelManSetCallback(const QelHandle* server, std::uint64_t callback);                      // 1003
QelStatus QelManClearCallback(const QelHandle* server);                                             // 1004
QelStatus QelManCallServerFunction(const QelHandle* server, std::uint32_t id, std::uint64_t function,
                                   std::uint64_t context, std::uint32_t value, const void* input,
                                   std::uint32_t inputSize, void* output, std::uint32_t outputSize);  // 1010
// 1005 and 1012: QelCapiCallback.h.

// ---- The remaining commands -------------------------------------------------------------
// A new zero-filled heap block of one handle on success (free with delete).
QelStatus QelManCommand1007(const QelHandle* server, const char* name, QelHandle** out);
QelStatus QelManCommand1008(const QelHandle* server, std::uint32_t value, QelHandle** out);
QelStatus QelManCommand1009(const QelHandle* server, const char* name, QelHandle** out);
// At most min(size, 256) bytes, always terminated.
QelStatus QelManGetInstallDirectory(const QelHandle* server, char* text, std::uint32_t size);       // 1011
QelStatus QelManConnect(const QelHandle* server);                                                   // 1013
QelStatus QelManDisconnect(const QelHandle* server);                                                // 1014
QelStatus QelManCommand1015(const QelHandle* server, std::uint32_t* first, std::uint32_t* second);
QelStatus QelManCommand1016(const QelHandle* server, std::uint32_t first, std::uint32_t second,
                            std::uint32_t* out);
QelStatus QelManCommand1017(const QelHandle* server, std::uint32_t first, std::uint32_t second, char* text,
                            std::uint32_t size);
QelStatus QelManCommand1018(const QelHandle* server, std::uint32_t value, std::uint32_t* out);

// ---- The callback FIFO (one per process) ------------------------------------------------
// N slots hold N - 1 callbacks; N below 2 or above 65535 gives 0x3000132.
QelStatus QelManCreateCallbackFifo(std::uint32_t slots);
QelStatus QelManDestroyCallbackFifo();
// Always 0 for a valid handle: a callback without a FIFO or room is counted and dropped.
QelStatus QelManQueueCallback(const QelHandle* server, std::uint32_t callbackId, std::uint64_t callback,
                              std::uint64_t context, std::uint32_t eventType, std::uint32_t eventCount);
// Sends the oldest queued callback; the send's status, 0 when nothing was sent.
QelStatus QelManExecuteCallback();

struct QelManFifoCounters {
  std::uint32_t overflows;
  std::uint32_t overflowsUnreported;
  std::uint32_t withoutFifo;
  std::uint32_t withoutFifoUnreported;
  std::uint32_t queued;
  std::uint32_t executed;
};
QelManFifoCounters QelManGetFifoCounters();
