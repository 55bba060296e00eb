// The imaging SDK's API library "QelApi.dll": the entries its users bind by
// name, and the records that cross between the SDK, its modules and clients.
// Every entry has C linkage. Statuses are small integers, 0 for success.
//
// A message is a block of the memory library's machine-wide pool
// (qelmem_entries.h) that starts with QelSdkMessageHeader; it changes hands by
// its pool reference. An entry that takes a message to send (QelManSendAnswer,
// QelManSendRequest) takes it over: on failure it is freed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/support/qelmem_entries.h"

namespace qelapi {

inline constexpr char kLibraryName[] = "QelApi.dll";

// The address plan.
inline constexpr std::uint32_t kClientAddress = 0x01000000;  // every process's own (host/client) server
inline constexpr std::uint32_t kModulePort = 222;
inline constexpr std::uint32_t kModulePortAddress = kModulePort << 16;  // 0x00DE0000
constexpr std::uint32_t board_server_address(std::uint32_t board) {
  return 0x01DE0000u | ((board + 1) << 8);
}
inline constexpr char kBoardServerPrefix[] = "Tramond-CL_RZ6_";  // + board + 1
// The port an address reaches: its byte 2 (222 for the module's servers).
constexpr std::uint32_t port_of_address(std::uint32_t address) { return (address >> 16) & 0xFF; }

// Statuses of the SDK.
inline constexpr std::uint32_t kSdkOk = 0;
inline constexpr std::uint32_t kSdkNoHandler = 70;        // no handler for the command
inline constexpr std::uint32_t kSdkNoMemory = 71;
inline constexpr std::uint32_t kSdkInUse = 84;
inline constexpr std::uint32_t kSdkFailed = 86;
inline constexpr std::uint32_t kSdkServerNotFound = 95;
inline constexpr std::uint32_t kSdkQueueFull = 96;
inline constexpr std::uint32_t kSdkTimeout = 98;          // no answer (or no lock) in time
inline constexpr std::uint32_t kSdkNotAvailable = 104;    // the server is not accessible
inline constexpr std::uint32_t kSdkNotOpen = 122;         // QelManOpen was not called
inline constexpr std::uint32_t kSdkBadArgument = 306;
inline constexpr std::uint32_t kSdkOutOfRange = 563;

// Time-out of QelManLock and QelManRelockThread.
inline constexpr std::uint32_t kManagerLockTimeoutMs = 10000;

#pragma pack(push, 1)
struct QelSdkMessageHeader {
  std::uint32_t size;         // whole message, header included
  std::uint32_t transaction;  // waiting transaction, 0 when none
  std::uint32_t flags;        // kMessageIsAnswer, kMessageNoAnswer
  std::uint32_t source;
  std::uint32_t destination;
  std::uint32_t port;
  std::uint32_t reserved;
  std::uint32_t command;      // command id of a request, status of an answer
  std::uint32_t error_text;   // offset of an appended error text, 0 when none
};
#pragma pack(pop)
static_assert(sizeof(QelSdkMessageHeader) == 36);
static_assert(offsetof(QelSdkMessageHeader, destination) == 16);
static_assert(offsetof(QelSdkMessageHeader, command) == 28);
inline constexpr std::uint32_t kMessageIsAnswer = 1u << 0;
inline constexpr std::uint32_t kMessageNoAnswer = 1u << 2;

// A server handle as clients keep it and requests carry it first in their payload.
#pragma pack(push, 1)
struct QelServerHandle {
  std::uint32_t address;
  std::uint32_t zero;
  std::uint32_t reserved;
  std::uint64_t record;       // the database entry + 1 (0 for a handle made by hand)
  std::uint32_t tag;          // kServerTag
  std::uint64_t self;         // the handle's own address in its owner process
};
#pragma pack(pop)
static_assert(sizeof(QelServerHandle) == 32);
static_assert(offsetof(QelServerHandle, record) == 12);
static_assert(offsetof(QelServerHandle, tag) == 20);
static_assert(offsetof(QelServerHandle, self) == 24);
inline constexpr std::uint32_t kServerTag = 0xcccc0040;
inline constexpr std::size_t kServerNameSize = 64;  // names are at most 63 characters

// Manager command ids the client API sends.
inline constexpr std::uint32_t kCommandControl = 1006;     // handle, code, input size, output size, input
inline constexpr std::uint32_t kCommandConnect = 1013;     // handle
inline constexpr std::uint32_t kCommandDisconnect = 1014;  // handle

// A device-control module's open/close table, filled by its QelVkmGetControl.
#pragma pack(push, 1)
struct QelVkmControl {
  std::uint32_t (*open)();                     // full open, closes at process detach
  std::uint32_t (*close)();
  std::uint32_t (*open_with_mode)(std::uint32_t mode);
};
#pragma pack(pop)
static_assert(sizeof(QelVkmControl) == 24);

// Called for each message of a port server, or of a command range of this
// process's own server, on an SDK thread that holds the manager lock. A
// handler that answers 0 has taken the message over; any other answer makes
// the SDK answer the request with that status and free it.
using QelPortServerHandler = std::uint32_t (*)(void* message);
using QelCommandHandler = std::uint32_t (*)(void* message);

extern "C" {

// The SDK in a process: open loads the configured modules (registry key
// kModulesKey of HKEY_LOCAL_MACHINE: each value a ".vkm" file name of the
// system directory) and opens each through its control table; close undoes it
// at the last close. Counted per process.
using QelManOpenFn = std::uint32_t (*)();
using QelManCloseFn = std::uint32_t (*)();

// The machine-wide manager lock: recursive for its holder; a holder that died
// leaves it to the next taker (with a log line).
using QelManLockFn = std::int32_t (*)();                       // non-zero when taken
using QelManUnlockFn = std::int32_t (*)();                     // one level; 0 when not held
using QelManGetAPILockerFn = std::uint32_t (*)();              // holder's thread id, 0 when free
using QelManUnlockThreadFn = std::uint32_t (*)(std::uint32_t all);  // depth held before; all 0: one level
using QelManRelockThreadFn = std::int32_t (*)(std::uint32_t depth);  // non-zero when taken to that depth

// Messages. QelManAllocMessage zero-fills, sets the size and the source (this
// process's own server). QelManSendAnswer routes any message by its
// destination (an answer to the transaction that waits for it).
using QelManAllocMessageFn = std::uint32_t (*)(std::uint32_t size, void** message);
using QelManFreeMessageFn = std::uint32_t (*)(void* message);
using QelManAllocAnswerFn = std::uint32_t (*)(const void* request, std::uint32_t size, void** answer);
using QelManSendAnswerFn = std::uint32_t (*)(void* message);

// This process's own server: command ranges, the newest range holding a
// command wins; a null entry answers kSdkNoHandler.
using QelManInstallHandlersFn = std::uint32_t (*)(std::uint32_t first, std::uint32_t last,
                                                  const QelCommandHandler* table, void** token);
using QelManRemoveHandlersFn = std::uint32_t (*)(void* token);

// Port servers (0..255) and ports (0..255) of this process; shared is accepted
// and has no other meaning here.
using QelManInstallPortServerFn = std::uint32_t (*)(std::uint32_t server, QelPortServerHandler handler,
                                                    std::uint32_t shared);
using QelManUninstallPortServerFn = std::uint32_t (*)(std::uint32_t server);
using QelManNewPortFn = std::uint32_t (*)(std::uint32_t port, std::uint32_t server);
using QelManFreePortFn = std::uint32_t (*)(std::uint32_t port);
using QelManGetPortAddressFn = std::uint32_t (*)(std::uint32_t port, std::uint32_t* address);

// The machine-wide server database: servers of this process by name and address.
using QelManAddServerToDatabaseFn = std::uint32_t (*)(const char* name, std::uint32_t address);
using QelManSetServerAccessibleFn = std::uint32_t (*)(const char* name, std::uint32_t address,
                                                      std::uint8_t accessible);

// Lookups: by name (this process's own server first), by index (0..count-1
// over every live server of the machine), locally.
using QelManGetServerCountFn = std::uint32_t (*)(std::uint32_t* count);
using QelManGetServerByIndexFn = std::uint32_t (*)(std::uint32_t index, char* name /* kServerNameSize */,
                                                   QelServerHandle* server);
using QelManGetServerByNameFn = std::uint32_t (*)(const char* name, QelServerHandle* server);
using QelManReleaseServerFn = std::uint32_t (*)(QelServerHandle* server);
using QelManGetLocalServerFn = std::uint32_t (*)();        // this process's own server address
using QelManGetLocalServerForVkmFn = std::uint32_t (*)();  // the module port's address, 0 while not open

// Requests: a message for the server with the handle first in its payload;
// sent and its answer awaited (kSdkTimeout after timeout_ms, or at once when
// the server's process is gone). The answer's status is its command word.
using QelManAllocRequestFn = std::uint32_t (*)(const QelServerHandle* server, std::uint32_t command,
                                               std::uint32_t payload_size, void** request);
using QelManSendRequestFn = std::uint32_t (*)(void* request, std::uint32_t timeout_ms, void** answer);
// Connect (1013) and disconnect (1014); internal commands (1006 with a code).
// Each answers the transport's failure or the answer's status.
using QelManConnectFn = std::uint32_t (*)(const QelServerHandle* server);
using QelManDisconnectFn = std::uint32_t (*)(const QelServerHandle* server);
using QelManInternalCmdFn = std::uint32_t (*)(const QelServerHandle* server, std::uint32_t code,
                                              const void* input, std::uint32_t input_size, void* output,
                                              std::uint32_t output_size);

// Settings 0..5 (4 bytes each) from the registry key kSettingsKey.
using QelManGetSettingFn = std::uint32_t (*)(std::uint32_t id, void* value, std::uint32_t size);

// Contiguous buffers through the memory library.
using QelManAllocContigBufferExFn = std::uint32_t (*)(std::uint32_t size, std::uint32_t lowest,
                                                      std::uint32_t highest, std::uint64_t alignment,
                                                      qelmem::QelMemContigBuffer* out);
using QelManFreeContigBufferFn = std::uint32_t (*)(void* user_address);

using QelManGetProcessIDFn = std::uint32_t (*)();

// A module's entry: fills min(size, 24) bytes of its QelVkmControl after zero-filling size bytes.
using QelVkmGetControlFn = std::uint32_t (*)(void* table, std::uint32_t size);

}  // extern "C"

inline constexpr char kSettingsKey[] = "Software\\Marvanti Brenk\\Velisk LT\\Settings";
inline constexpr char kModulesKey[] = "Software\\Marvanti Brenk\\Velisk LT\\Modules";
inline constexpr std::uint32_t kSettingCount = 6;

}  // namespace qelapi
