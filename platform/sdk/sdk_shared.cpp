// The machine-wide tables of the SDK: inboxes, the server database and the
// clients' transactions, in one shared section guarded by one robust mutex.
#include <cstring>
#include <mutex>

#include "platform/sdk/sdk_internal.h"
#include "platform/support/machine_log.h"
#include "platform/win/sections.h"

namespace qelapi::sdk {

namespace {

constexpr std::uint32_t kTablesMagic = 0x53444B31;  // "SDK1"

struct Mapping {
  std::once_flag once;
  SharedTables* tables = nullptr;
  plat::Handle mutex = plat::kNullHandle;
};

Mapping& mapping() {
  static Mapping* instance = new Mapping;  // kept until the process ends
  return *instance;
}

void map_once() {
  Mapping& m = mapping();
  std::call_once(m.once, [&m] {
    m.mutex = plat::create_mutex(nullptr, false, kTableLockName);
    plat::Handle section = plat::create_file_mapping(nullptr, sizeof(SharedTables), kSectionName);
    if (m.mutex == plat::kNullHandle || section == plat::kNullHandle) return;
    m.tables = static_cast<SharedTables*>(plat::map_view_of_file(section, 0));
  });
}

void free_inbox_messages(Inbox& inbox) {
  while (inbox.read != inbox.write) {
    if (void* message = message_of(inbox.ring[inbox.read])) free_message(message);
    inbox.read = (inbox.read + 1) % kInboxSlots;
  }
}

}  // namespace

SharedTables* tables() {
  map_once();
  return mapping().tables;
}

TableGuard::TableGuard() {
  map_once();
  Mapping& m = mapping();
  if (m.tables == nullptr) return;
  std::uint32_t r = plat::wait_for_object(m.mutex, plat::kInfinite);
  held_ = r == plat::kWaitObject0 || r == plat::kWaitAbandoned0;
  if (held_ && m.tables->magic != kTablesMagic) {
    std::memset(m.tables, 0, sizeof *m.tables);
    m.tables->magic = kTablesMagic;
  }
}

TableGuard::~TableGuard() {
  if (held_) plat::release_mutex(mapping().mutex);
}

bool same_process(const plat::ProcessIdentity& a, const plat::ProcessIdentity& b) {
  return a.pid == b.pid && a.start_time == b.start_time;
}

void reclaim_dead_locked(SharedTables& t) {
  for (Inbox& inbox : t.inboxes) {
    if (!inbox.in_use || plat::is_process_alive(inbox.owner)) continue;
    log_line(1, __LINE__, "inbox of dead process " + std::to_string(inbox.owner.pid) + " freed");
    free_inbox_messages(inbox);
    std::memset(&inbox, 0, sizeof inbox);
  }
  for (ServerEntry& server : t.servers) {
    if (!server.in_use || plat::is_process_alive(server.owner)) continue;
    log_line(1, __LINE__, std::string("server \"") + server.name + "\" of dead process " +
                              std::to_string(server.owner.pid) + " removed");
    std::memset(&server, 0, sizeof server);
  }
  for (TransactionEntry& transaction : t.transactions) {
    if (transaction.in_use && !plat::is_process_alive(transaction.owner))
      std::memset(&transaction, 0, sizeof transaction);
  }
}

std::uint32_t new_transaction() {
  TableGuard guard;
  SharedTables* t = tables();
  if (!guard.held()) return 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::uint32_t slot = 0; slot < kMaxTransactions; ++slot) {
      TransactionEntry& e = t->transactions[slot];
      if (e.in_use) continue;
      // (sequence << 8) | slot, never 0.
      std::uint32_t id = 0;
      do id = (++t->sequence << 8) | slot;
      while (id == 0);
      e = TransactionEntry{1, id, plat::current_process()};
      return id;
    }
    reclaim_dead_locked(*t);
  }
  return 0;
}

void free_transaction(std::uint32_t id) {
  TableGuard guard;
  if (!guard.held() || id == 0) return;
  TransactionEntry& e = tables()->transactions[id & 0xFF];
  if (e.in_use && e.id == id) std::memset(&e, 0, sizeof e);
}

bool transaction_owner(std::uint32_t id, plat::ProcessIdentity* owner) {
  TableGuard guard;
  if (!guard.held() || id == 0) return false;
  const TransactionEntry& e = tables()->transactions[id & 0xFF];
  if (!e.in_use || e.id != id) return false;
  *owner = e.owner;
  return true;
}

bool find_server_by_address(std::uint32_t address, plat::ProcessIdentity* owner, bool* available) {
  TableGuard guard;
  if (!guard.held()) return false;
  plat::ProcessIdentity me = plat::current_process();
  const ServerEntry* found = nullptr;
  // This process's own server first, then a live one elsewhere that is available.
  for (const ServerEntry& s : tables()->servers) {
    if (!s.in_use || s.address != address) continue;
    if (same_process(s.owner, me)) {
      found = &s;
      break;
    }
    if (found == nullptr || (!found->available && s.available)) {
      if (plat::is_process_alive(s.owner)) found = &s;
    }
  }
  if (found == nullptr) return false;
  *owner = found->owner;
  *available = found->available != 0;
  return true;
}

void log_line(std::uint32_t level, std::uint32_t line, const std::string& text) {
  plat::support::append_log_line(level, kLogLabel, "qelapi", line, "QELAPI: " + text);
}

}  // namespace qelapi::sdk
