// Where messages go: routing by destination, the process's inbox for messages
// of other processes, and the SDK threads that deliver them (the reader hands
// answers to their waiting transactions at once and queues every other
// message for the workers, which call its handler under the manager lock).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/sdk/sdk_internal.h"

namespace qelapi::sdk {

std::uint32_t read_setting(std::uint32_t id);  // sdk_client.cpp

namespace {

bool is_client_address(std::uint32_t address) { return address != 0 && (address & 0xFFFFFF) == 0; }

void queue_work(void* message) {
  Process& p = process();
  {
    std::lock_guard guard(p.mutex);
    p.work.push_back(message);
  }
  p.work_ready.notify_one();
}

// An answer for a transaction of this process: to its waiter, or freed when
// nobody waits any more (a late answer after a time-out).
void deliver_answer(void* message) {
  Process& p = process();
  std::unique_lock guard(p.mutex);
  auto it = p.waiters.find(header(message)->transaction);
  if (it == p.waiters.end() || it->second->answer != nullptr) {
    guard.unlock();
    free_message(message);
    return;
  }
  it->second->answer = message;
  it->second->ready.notify_all();
}

bool answer_for_here(void* message) {
  const QelSdkMessageHeader* h = header(message);
  return (h->flags & kMessageIsAnswer) != 0 && h->transaction != 0 && is_client_address(h->destination);
}

std::uint32_t push_to(const plat::ProcessIdentity& owner, void* message) {
  std::uint64_t reference = reference_of(message);
  plat::Handle event = plat::kNullHandle;
  {
    TableGuard guard;
    if (!guard.held()) {
      free_message(message);
      return kSdkFailed;
    }
    Inbox* inbox = nullptr;
    for (Inbox& i : tables()->inboxes)
      if (i.in_use && same_process(i.owner, owner)) inbox = &i;
    if (inbox == nullptr || !plat::is_process_alive(owner)) {
      free_message(message);
      return kSdkServerNotFound;
    }
    if ((inbox->write + 1) % kInboxSlots == inbox->read) {
      free_message(message);
      return kSdkQueueFull;
    }
    inbox->ring[inbox->write] = reference;
    inbox->write = (inbox->write + 1) % kInboxSlots;
    event = inbox->event;
  }
  plat::set_event(event);
  return kSdkOk;
}

void reader_loop() {
  Process& p = process();
  plat::set_thread_priority(static_cast<int>(read_setting(3)));
  for (;;) {
    plat::wait_for_object(p.inbox_event, 200);
    std::vector<std::uint64_t> references;
    {
      std::lock_guard guard(p.mutex);
      if (p.stopping) return;
    }
    {
      TableGuard guard;
      if (guard.held() && p.inbox >= 0) {
        Inbox& inbox = tables()->inboxes[p.inbox];
        while (inbox.read != inbox.write) {
          references.push_back(inbox.ring[inbox.read]);
          inbox.read = (inbox.read + 1) % kInboxSlots;
        }
      }
    }
    for (std::uint64_t reference : references) {
      void* message = message_of(reference);  // ours from here on
      if (message == nullptr || !valid_message(message)) continue;
      if (answer_for_here(message)) deliver_answer(message);
      else queue_work(message);
    }
  }
}

void worker_loop() {
  Process& p = process();
  plat::set_thread_priority(static_cast<int>(read_setting(3)));
  for (;;) {
    void* message = nullptr;
    {
      std::unique_lock guard(p.mutex);
      p.work_ready.wait(guard, [&p] { return p.stopping || !p.work.empty(); });
      if (p.work.empty()) return;
      message = p.work.front();
      p.work.pop_front();
    }
    if (!take_manager_lock(kManagerLockTimeoutMs)) {
      answer_with_status(message, kSdkTimeout);
      continue;
    }
    deliver_here(message);
    // A handler that released the lock around a wait retook it to its depth.
    give_manager_lock();
  }
}

QelCommandHandler command_handler(Process& p, std::uint32_t command, bool* range_found) {
  std::lock_guard guard(p.mutex);
  for (auto it = p.ranges.rbegin(); it != p.ranges.rend(); ++it) {
    if (command < (*it)->first || command > (*it)->last) continue;
    *range_found = true;
    return (*it)->table[command - (*it)->first];
  }
  *range_found = false;
  return nullptr;
}

QelPortServerHandler port_handler(Process& p, std::uint32_t port) {
  std::lock_guard guard(p.mutex);
  std::int32_t server = p.port_server_of[port];
  return server < 0 ? nullptr : p.port_servers[server];
}

}  // namespace

Process& process() {
  static Process* instance = new Process;  // threads may outlive static destruction
  return *instance;
}

void deliver_here(void* message) {
  Process& p = process();
  const QelSdkMessageHeader* h = header(message);
  if (answer_for_here(message)) {
    deliver_answer(message);
    return;
  }
  if (is_client_address(h->destination)) {
    bool range_found = false;
    QelCommandHandler handler = command_handler(p, h->command, &range_found);
    if (handler == nullptr) {
      answer_with_status(message, kSdkNoHandler);
      return;
    }
    std::uint32_t status = handler(message);
    if (status != kSdkOk) answer_with_status(message, status);
    return;
  }
  QelPortServerHandler handler = port_handler(p, port_of_address(h->destination));
  if (handler == nullptr) {
    answer_with_status(message, kSdkServerNotFound);
    return;
  }
  std::uint32_t status = handler(message);
  if (status != kSdkOk) answer_with_status(message, status);
}

std::uint32_t route(void* message) {
  if (!valid_message(message)) return kSdkBadArgument;
  QelSdkMessageHeader* h = header(message);
  plat::ProcessIdentity me = plat::current_process();
  plat::ProcessIdentity owner{};
  if (answer_for_here(message)) {
    if (!transaction_owner(h->transaction, &owner)) {
      free_message(message);
      return kSdkServerNotFound;
    }
    if (same_process(owner, me)) {
      deliver_answer(message);
      return kSdkOk;
    }
    return push_to(owner, message);
  }
  if (is_client_address(h->destination)) {
    // A request to a client (a callback) goes to the process that owns the
    // transaction it names; without one, to this process's own server.
    if (h->transaction != 0 && transaction_owner(h->transaction, &owner) && !same_process(owner, me))
      return push_to(owner, message);
    if (!ensure_delivery()) {
      free_message(message);
      return kSdkFailed;
    }
    queue_work(message);
    return kSdkOk;
  }
  if (port_handler(process(), port_of_address(h->destination)) != nullptr && ensure_delivery()) {
    queue_work(message);
    return kSdkOk;
  }
  bool available = false;
  if (!find_server_by_address(h->destination, &owner, &available) || same_process(owner, me)) {
    free_message(message);
    return kSdkServerNotFound;
  }
  if (!available) {
    free_message(message);
    return kSdkNotAvailable;
  }
  return push_to(owner, message);
}

bool ensure_delivery() {
  Process& p = process();
  std::lock_guard guard(p.mutex);
  if (p.inbox >= 0) return true;
  if (!bind_memory_library()) return false;
  plat::Handle event = plat::create_event(nullptr, false, false, nullptr);
  if (event == plat::kNullHandle) return false;
  {
    TableGuard table;
    if (!table.held()) {
      plat::close_handle(event);
      return false;
    }
    reclaim_dead_locked(*tables());
    for (std::uint32_t slot = 0; slot < kMaxProcesses && p.inbox < 0; ++slot) {
      Inbox& inbox = tables()->inboxes[slot];
      if (inbox.in_use) continue;
      std::memset(&inbox, 0, sizeof inbox);
      inbox.in_use = 1;
      inbox.owner = plat::current_process();
      inbox.event = event;
      p.inbox = static_cast<std::int32_t>(slot);
    }
  }
  if (p.inbox < 0) {
    log_line(0, __LINE__, "no free inbox: too many processes use the SDK");
    plat::close_handle(event);
    return false;
  }
  p.inbox_event = event;
  p.stopping = false;
  // A process may end with the threads running: they are stopped at exit,
  // before the platform's statics they use are destroyed (QelManOpen does the
  // same once its modules are open).
  [[maybe_unused]] static const bool stopped_at_exit = std::atexit(stop_delivery) == 0;
  p.reader = std::thread(reader_loop);
  std::uint32_t count = std::clamp<std::uint32_t>(read_setting(2), 1, 64);
  for (std::uint32_t i = 0; i < count; ++i) p.workers.emplace_back(worker_loop);
  return true;
}

namespace {

// A thread of the SDK's own that ends the process (a handler calling exit())
// cannot wait for itself; it is let go.
void join_unless_self(std::thread& thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) thread.detach();
  else thread.join();
}

}  // namespace

void stop_delivery() {
  Process& p = process();
  std::thread reader;
  std::vector<std::thread> workers;
  {
    std::lock_guard guard(p.mutex);
    if (p.inbox < 0) return;
    p.stopping = true;
    reader = std::move(p.reader);
    workers.swap(p.workers);
  }
  p.work_ready.notify_all();
  plat::set_event(p.inbox_event);
  join_unless_self(reader);
  for (std::thread& w : workers) join_unless_self(w);
  std::deque<void*> left;
  {
    std::lock_guard guard(p.mutex);
    left.swap(p.work);
  }
  for (void* message : left) free_message(message);
  {
    TableGuard table;
    if (table.held()) {
      Inbox& inbox = tables()->inboxes[p.inbox];
      while (inbox.read != inbox.write) {
        if (void* message = message_of(inbox.ring[inbox.read])) free_message(message);
        inbox.read = (inbox.read + 1) % kInboxSlots;
      }
      std::memset(&inbox, 0, sizeof inbox);
    }
  }
  plat::close_handle(p.inbox_event);
  std::lock_guard guard(p.mutex);
  p.inbox = -1;
  p.inbox_event = plat::kNullHandle;
  p.stopping = false;
}

}  // namespace qelapi::sdk

using namespace qelapi;
using namespace qelapi::sdk;

QELAPI_EXPORT std::uint32_t QelManSendAnswer(void* message) {
  if (!valid_message(message)) return kSdkBadArgument;
  return route(message);
}
