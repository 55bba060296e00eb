// The machine-wide object table: one file in the machine directory, mapped
// shared by every process of the machine. Slots hold events, semaphores,
// mutexes and sections; a handle value is a slot index plus the slot's
// generation, so it means the same object in every process and goes stale
// once the object is gone.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win/objects.h"
#include "platform/win/process.h"

namespace plat::object_table {

inline constexpr std::uint32_t kCapacity = 4096;
inline constexpr std::uint32_t kMaxHolders = 64;
inline constexpr std::uint32_t kSlotBits = 12;
inline constexpr std::uint32_t kMaxGeneration = (1u << 18) - 1;
static_assert((1u << kSlotBits) == kCapacity);
// Object handles stay below bit 30, which marks device handles.
static_assert((static_cast<std::uint64_t>(kMaxGeneration) << kSlotBits | (kCapacity - 1)) < (1u << 30));

// Module shared data sections are looked up apart from named objects, so a
// module's name never collides with an object name.
enum class NameSpace : std::uint32_t { kObjects = 0, kModuleData = 1 };

// One process's references to an object.
struct Holder {
  ProcessIdentity process;  // pid 0: unused entry
  std::uint32_t handle_count;
  std::uint32_t view_count;
};
static_assert(sizeof(Holder) == 24);

struct Slot {
  std::atomic<std::uint32_t> live_generation;  // 0 while the slot is free
  std::uint32_t last_generation;
  ObjectKind kind;
  NameSpace name_space;
  char name[kMaxObjectName + 1];  // empty: unnamed
  // The futex word: event 0 or 1, semaphore count, mutex owner thread (0 free).
  std::atomic<std::uint32_t> word;
  // Threads sleeping on the word, so signalling skips the wake call when none.
  std::atomic<std::uint32_t> waiters;
  std::uint32_t manual_reset;
  std::int32_t maximum_count;
  std::uint32_t recursion;  // mutex: written only by its owner
  std::uint32_t reserved[2];
  // Start time of the mutex owner thread, so a reused thread id is not taken
  // for the owner.
  std::atomic<std::uint64_t> owner_start;
  std::uint64_t section_size;
  Holder holders[kMaxHolders];
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<std::uint32_t>) == 4 && sizeof(std::atomic<std::uint64_t>) == 8);
static_assert(offsetof(Slot, name) == 16);
static_assert(offsetof(Slot, word) == 276);
static_assert(offsetof(Slot, owner_start) == 304);
static_assert(offsetof(Slot, section_size) == 312);
static_assert(offsetof(Slot, holders) == 320);
static_assert(sizeof(Slot) == 320 + kMaxHolders * sizeof(Holder));

inline constexpr std::uint32_t kTableMagic = 0x4A424F51;  // "QOBJ"
inline constexpr std::uint32_t kTableVersion = 1;

struct Header {
  std::uint32_t magic;  // written last, once the table is ready
  std::uint32_t version;
  std::uint32_t capacity;
  std::uint32_t slot_size;
  pthread_mutex_t lock;  // robust and process-shared
  // One past the highest slot ever used: scans stop there.
  std::uint32_t high_water;
  std::uint8_t reserved[128 - 16 - sizeof(pthread_mutex_t) - 4];
};
static_assert(sizeof(pthread_mutex_t) == 40);
static_assert(offsetof(Header, lock) == 16);
static_assert(offsetof(Header, high_water) == 56);
static_assert(sizeof(Header) == 128);

struct Table {
  Header header;
  Slot slots[kCapacity];
};
static_assert(offsetof(Table, slots) == 128);

// The current machine's table, mapped (and created) on first use; null with
// the last error set when the machine directory cannot hold it.
Table* current();
// The machine directory the table belongs to.
std::string machine_dir_of(const Table& table);

// Holds the table lock; a holder that died is recovered from.
class Lock {
 public:
  explicit Lock(Table& table);
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  Table& table_;
};

Handle handle_of(const Table& table, const Slot& slot);
std::uint32_t generation_of(Handle handle);
// The live slot behind a handle, or null. Without the lock or a reference the
// answer may go stale; users check the generation again after sleeping.
Slot* resolve(Table& table, Handle handle);

// The rest needs the lock.
Slot* find_named(Table& table, NameSpace name_space, std::string_view name);
// A fresh slot of the kind with the name, no holders; null when the table is
// full (kErrorNotEnoughMemory).
Slot* allocate(Table& table, ObjectKind kind, NameSpace name_space, std::string_view name);
enum class Reference { kHandle, kView };
// For the calling process; false when the object has too many holders.
bool add_reference(Slot& slot, Reference reference);
// False when the calling process holds no such reference. Frees the object
// once no process holds it.
bool drop_reference(Table& table, Slot& slot, Reference reference);
// Drops the references of processes that have died and frees objects that
// nobody holds any more.
void reclaim_dead_holders(Table& table);
// The file that backs a section slot.
std::string section_file(const Table& table, const Slot& slot);

}  // namespace plat::object_table
