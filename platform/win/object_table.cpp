#include "platform/win/object_table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/machine.h"
#include "platform/win/object_futex.h"

namespace plat::object_table {
namespace {

constexpr const char* kTableFile = "objects.table";

struct Mapping {
  std::string dir;
  Table* table;
};

// Mappings are never undone: a thread may still sleep on a word of a machine
// that a test has since switched away from.
std::mutex mappings_guard;
std::vector<Mapping> mappings;
Table* current_table = nullptr;
std::string current_dir;

class FileLock {
 public:
  explicit FileLock(int fd) : fd_(fd) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() { ::flock(fd_, LOCK_UN); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

bool initialize_lock(pthread_mutex_t& lock) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  int rc = pthread_mutex_init(&lock, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return rc == 0;
}

bool initialize_table(Table& table) {
  Header& header = table.header;
  if (!initialize_lock(header.lock)) return false;
  header.version = kTableVersion;
  header.capacity = kCapacity;
  header.slot_size = sizeof(Slot);
  header.high_water = 0;
  std::atomic_ref<std::uint32_t>(header.magic).store(kTableMagic, std::memory_order_release);
  return true;
}

bool header_matches(const Header& header) {
  return header.version == kTableVersion && header.capacity == kCapacity &&
         header.slot_size == sizeof(Slot);
}

std::uint32_t error_from_errno(int error) {
  if (error == ENOENT || error == ENOTDIR) return kErrorPathNotFound;
  if (error == EACCES || error == EPERM || error == EROFS) return kErrorAccessDenied;
  if (error == ENOMEM || error == ENOSPC) return kErrorNotEnoughMemory;
  return kErrorGenFailure;
}

// Maps the table file of a machine, creating it under an exclusive file lock
// so that two processes starting at once make it only once.
Table* map_table(const std::string& dir) {
  std::string path = dir + "/" + kTableFile;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    set_last_error(error_from_errno(errno));
    return nullptr;
  }
  Table* table = nullptr;
  std::uint32_t error = kErrorSuccess;
  {
    FileLock file_lock(fd);
    struct stat status {};
    bool fresh = ::fstat(fd, &status) == 0 && status.st_size == 0;
    if (fresh && ::ftruncate(fd, sizeof(Table)) != 0) error = error_from_errno(errno);
    if (error == kErrorSuccess && !fresh && status.st_size != static_cast<off_t>(sizeof(Table)))
      error = kErrorInvalidData;
    if (error == kErrorSuccess) {
      void* address = ::mmap(nullptr, sizeof(Table), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (address == MAP_FAILED) {
        error = error_from_errno(errno);
      } else {
        table = static_cast<Table*>(address);
        // A creator that died before writing the magic left a sized, blank file.
        std::uint32_t magic =
            std::atomic_ref<std::uint32_t>(table->header.magic).load(std::memory_order_acquire);
        bool ready = magic == kTableMagic ? header_matches(table->header) : initialize_table(*table);
        if (!ready) {
          ::munmap(address, sizeof(Table));
          table = nullptr;
          error = kErrorInvalidData;
        }
      }
    }
  }
  ::close(fd);
  if (table == nullptr) set_last_error(error);
  return table;
}

bool same_process(const ProcessIdentity& a, const ProcessIdentity& b) {
  return a.pid == b.pid && a.start_time == b.start_time;
}

bool has_holders(const Slot& slot) {
  return std::any_of(std::begin(slot.holders), std::end(slot.holders),
                     [](const Holder& holder) { return holder.process.pid != 0; });
}

void free_slot(Table& table, Slot& slot) {
  if (slot.kind == ObjectKind::kSection) ::unlink(section_file(table, slot).c_str());
  slot.last_generation = slot.live_generation.load();
  slot.live_generation.store(0);
  slot.name[0] = '\0';
  std::fill(std::begin(slot.holders), std::end(slot.holders), Holder{});
  // Anyone still asleep on the word (with a handle it never held) wakes,
  // finds the generation gone and fails.
  slot.word.fetch_add(1);
  if (slot.waiters.load() != 0) object_futex::wake_all(slot.word);
}

// Liveness answers remembered for one scan, so each process is checked once.
class LivenessCache {
 public:
  bool alive(const ProcessIdentity& process) {
    for (const auto& [known, alive] : known_) {
      if (same_process(known, process)) return alive;
    }
    bool alive = is_process_alive(process);
    known_.emplace_back(process, alive);
    return alive;
  }

 private:
  std::vector<std::pair<ProcessIdentity, bool>> known_;
};

// The slots a scan needs to look at; a damaged mark cannot lead it astray.
std::span<Slot> used_range(Table& table) {
  return std::span(table.slots).first(std::min(table.header.high_water, kCapacity));
}

}  // namespace

Table* current() {
  std::string dir = machine_dir();
  if (dir.empty()) {
    set_last_error(kErrorPathNotFound);
    return nullptr;
  }
  std::lock_guard guard(mappings_guard);
  if (current_table != nullptr && dir == current_dir) return current_table;
  Table* table = map_table(dir);
  if (table == nullptr) return nullptr;
  mappings.push_back(Mapping{dir, table});
  current_table = table;
  current_dir = dir;
  return table;
}

std::string machine_dir_of(const Table& table) {
  std::lock_guard guard(mappings_guard);
  for (const Mapping& mapping : mappings) {
    if (mapping.table == &table) return mapping.dir;
  }
  return {};
}

Lock::Lock(Table& table) : table_(table) {
  if (pthread_mutex_lock(&table_.header.lock) == EOWNERDEAD) {
    // Its last holder died inside a table update; each update leaves the
    // table usable at every step, so it is taken over as it stands.
    pthread_mutex_consistent(&table_.header.lock);
  }
}

Lock::~Lock() { pthread_mutex_unlock(&table_.header.lock); }

Handle handle_of(const Table& table, const Slot& slot) {
  auto index = static_cast<std::uint64_t>(&slot - table.slots);
  return static_cast<Handle>(slot.live_generation.load()) << kSlotBits | index;
}

std::uint32_t generation_of(Handle handle) { return static_cast<std::uint32_t>(handle >> kSlotBits); }

Slot* resolve(Table& table, Handle handle) {
  if (handle == kNullHandle || handle >= (1u << 30)) return nullptr;
  std::uint32_t generation = generation_of(handle);
  if (generation == 0) return nullptr;
  Slot& slot = table.slots[handle & (kCapacity - 1)];
  return slot.live_generation.load() == generation ? &slot : nullptr;
}

Slot* find_named(Table& table, NameSpace name_space, std::string_view name) {
  if (name.empty() || name.size() > kMaxObjectName) return nullptr;
  for (Slot& slot : used_range(table)) {
    if (slot.live_generation.load() == 0 || slot.name_space != name_space) continue;
    if (name == std::string_view(slot.name)) return &slot;
  }
  return nullptr;
}

Slot* allocate(Table& table, ObjectKind kind, NameSpace name_space, std::string_view name) {
  if (name.size() > kMaxObjectName) {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  // The lowest free slot, so scans stay short; its new generation keeps old
  // handles to it stale.
  for (std::uint32_t index = 0; index < kCapacity; ++index) {
    Slot& slot = table.slots[index];
    if (slot.live_generation.load() != 0) continue;
    slot.kind = kind;
    slot.name_space = name_space;
    if (!name.empty()) std::memcpy(slot.name, name.data(), name.size());
    slot.name[name.size()] = '\0';
    slot.word.store(0);
    slot.manual_reset = 0;
    slot.maximum_count = 0;
    slot.recursion = 0;
    slot.owner_start.store(0);
    slot.section_size = 0;
    std::fill(std::begin(slot.holders), std::end(slot.holders), Holder{});
    slot.live_generation.store(slot.last_generation % kMaxGeneration + 1);
    table.header.high_water = std::max(table.header.high_water, index + 1);
    return &slot;
  }
  set_last_error(kErrorNotEnoughMemory);
  return nullptr;
}

bool add_reference(Slot& slot, Reference reference) {
  ProcessIdentity self = current_process();
  Holder* entry = nullptr;
  for (Holder& holder : slot.holders) {
    if (same_process(holder.process, self)) {
      entry = &holder;
      break;
    }
    if (entry == nullptr && holder.process.pid == 0) entry = &holder;
  }
  if (entry == nullptr) {
    set_last_error(kErrorNotEnoughMemory);
    return false;
  }
  if (entry->process.pid == 0) *entry = Holder{self, 0, 0};
  std::uint32_t& count = reference == Reference::kHandle ? entry->handle_count : entry->view_count;
  ++count;
  return true;
}

bool drop_reference(Table& table, Slot& slot, Reference reference) {
  ProcessIdentity self = current_process();
  for (Holder& holder : slot.holders) {
    if (!same_process(holder.process, self)) continue;
    std::uint32_t& count = reference == Reference::kHandle ? holder.handle_count : holder.view_count;
    if (count == 0) break;
    --count;
    if (holder.handle_count == 0 && holder.view_count == 0) holder = Holder{};
    if (!has_holders(slot)) free_slot(table, slot);
    return true;
  }
  set_last_error(kErrorInvalidHandle);
  return false;
}

void reclaim_dead_holders(Table& table) {
  ProcessIdentity self = current_process();
  LivenessCache liveness;
  for (Slot& slot : used_range(table)) {
    if (slot.live_generation.load() == 0) continue;
    for (Holder& holder : slot.holders) {
      if (holder.process.pid == 0 || same_process(holder.process, self)) continue;
      if (!liveness.alive(holder.process)) holder = Holder{};
    }
    if (!has_holders(slot)) free_slot(table, slot);
  }
}

std::string section_file(const Table& table, const Slot& slot) {
  auto index = static_cast<std::size_t>(&slot - table.slots);
  std::uint32_t generation = slot.live_generation.load();
  return machine_dir_of(table) + "/sections/" + std::to_string(index) + "-" + std::to_string(generation);
}

}  // namespace plat::object_table
