// Inside the SDK stand-in: the machine-wide shared table, this process's
// state, and the pieces its files share.
//
// Lock order (outermost first): the manager lock (machine-wide, held by
// callers and by SDK threads around handlers) -> the process's local mutex
// (Process::mutex) -> the shared table's mutex (machine-wide, kTableLockName).
// Nothing waits for a message or calls a handler while holding the local
// mutex or the table mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sdk/qelapi.h"
#include "platform/win/objects.h"
#include "platform/win/process.h"

#define QELAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace qelapi::sdk {

inline constexpr char kSectionName[] = "QelApi shared tables";
inline constexpr char kTableLockName[] = "QelApi table lock";
inline constexpr char kManagerLockName[] = "QelApi manager lock";
inline constexpr char kLogLabel[] = "QelApi.dll";

inline constexpr std::uint32_t kMaxProcesses = 64;
inline constexpr std::uint32_t kInboxSlots = 512;
inline constexpr std::uint32_t kMaxServers = 128;
inline constexpr std::uint32_t kMaxTransactions = 256;

// Each process that opens the SDK has an inbox: references of messages other
// processes route to it, and the event that wakes its reader thread.
struct Inbox {
  std::uint32_t in_use;
  std::uint32_t read;
  std::uint32_t write;
  std::uint32_t reserved;
  plat::ProcessIdentity owner;
  plat::Handle event;
  std::uint64_t ring[kInboxSlots];
};

struct ServerEntry {
  std::uint32_t in_use;
  std::uint32_t address;
  std::uint32_t available;
  std::uint32_t reserved;
  plat::ProcessIdentity owner;
  char name[kServerNameSize];
};

// A client's request waiting for its answer; the answer is routed to the owner.
struct TransactionEntry {
  std::uint32_t in_use;
  std::uint32_t id;
  plat::ProcessIdentity owner;
};

struct ManagerLockState {
  std::uint32_t holder_thread;
  std::uint32_t reserved;
  plat::ProcessIdentity holder;
};

struct SharedTables {
  std::uint32_t magic;
  std::uint32_t sequence;
  ManagerLockState lock;
  Inbox inboxes[kMaxProcesses];
  ServerEntry servers[kMaxServers];
  TransactionEntry transactions[kMaxTransactions];
};

// The shared tables under their machine-wide mutex; tables() is null when
// the section cannot be had.
SharedTables* tables();
class TableGuard {
 public:
  TableGuard();
  ~TableGuard();
  TableGuard(const TableGuard&) = delete;
  TableGuard& operator=(const TableGuard&) = delete;
  bool held() const { return held_; }

 private:
  bool held_ = false;
};
// With the table mutex held: frees what dead processes left (inboxes and the
// messages in them, servers, transactions).
void reclaim_dead_locked(SharedTables& t);
bool same_process(const plat::ProcessIdentity& a, const plat::ProcessIdentity& b);

// The memory library, bound by name.
bool bind_memory_library();
void* alloc_message(std::uint32_t size);
void free_message(void* message);
std::uint64_t reference_of(void* message);
void* message_of(std::uint64_t reference);  // takes the message over
QelSdkMessageHeader* header(void* message);
bool valid_message(void* message);  // a header and a size that fits
std::uint32_t answer_with_status(void* request, std::uint32_t status);  // frees the request

// This process's side.
struct Waiter {
  std::condition_variable ready;
  void* answer = nullptr;
  plat::ProcessIdentity peer{};  // the server's process (when not this one)
};

struct HandlerRange {
  std::uint32_t first;
  std::uint32_t last;
  std::vector<QelCommandHandler> table;
};

struct Process {
  std::mutex mutex;
  std::uint32_t open_count = 0;
  std::int32_t inbox = -1;  // slot in the shared tables
  plat::Handle inbox_event = plat::kNullHandle;
  bool stopping = false;
  std::thread reader;
  std::vector<std::thread> workers;
  std::deque<void*> work;
  std::condition_variable work_ready;
  std::map<std::uint32_t, Waiter*> waiters;  // by transaction id
  QelPortServerHandler port_servers[256] = {};
  std::int32_t port_server_of[256];           // per port, -1 when closed
  std::uint32_t port_use[256] = {};
  std::vector<HandlerRange*> ranges;          // newest last
  std::vector<void*> modules;                 // loaded module handles, in load order
  Process() {
    for (auto& p : port_server_of) p = -1;
  }
};
Process& process();

// Starts the inbox and the SDK threads once (at open, or when this process
// first publishes a server or waits for an answer).
bool ensure_delivery();
void stop_delivery();

// Routes a message (taken over; freed on failure) to where its destination lives.
std::uint32_t route(void* message);
// Delivers a message in this process (on the calling SDK thread).
void deliver_here(void* message);

// Transactions.
std::uint32_t new_transaction();
void free_transaction(std::uint32_t id);
// The owner of a live transaction; false when none.
bool transaction_owner(std::uint32_t id, plat::ProcessIdentity* owner);

// Database lookups (table mutex taken inside).
bool find_server_by_address(std::uint32_t address, plat::ProcessIdentity* owner, bool* available);

// Manager lock helpers for SDK threads.
bool take_manager_lock(std::uint32_t timeout_ms);
void give_manager_lock();

void log_line(std::uint32_t level, std::uint32_t line, const std::string& text);

}  // namespace qelapi::sdk

// Entries the SDK's own files call.
QELAPI_EXPORT std::uint32_t QelManUnlockThread(std::uint32_t all);
QELAPI_EXPORT std::int32_t QelManRelockThread(std::uint32_t depth);
QELAPI_EXPORT std::uint32_t QelManGetLocalServerForVkm();
