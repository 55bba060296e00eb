#include "platform/win/objects.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "platform/win/errors.h"
#include "platform/win/object_futex.h"
#include "platform/win/object_naming.h"
#include "platform/win/object_table.h"
#include "platform/win/object_wait.h"

namespace plat {
namespace {

using object_table::NameSpace;
using object_table::Reference;
using object_table::Slot;
using object_table::Table;

std::atomic<bool (*)(Handle)> device_closer{nullptr};

// The live object of that kind behind a handle, or null with kErrorInvalidHandle.
Slot* object_of(Handle handle, ObjectKind kind) {
  Table* table = object_table::current();
  if (table == nullptr) return nullptr;
  Slot* slot = object_table::resolve(*table, handle);
  if (slot == nullptr || slot->kind != kind) {
    set_last_error(kErrorInvalidHandle);
    return nullptr;
  }
  return slot;
}

bool waitable(ObjectKind kind) {
  return kind == ObjectKind::kEvent || kind == ObjectKind::kSemaphore || kind == ObjectKind::kMutex;
}

}  // namespace

Handle create_event(const SecurityAttributes* attributes, bool manual_reset, bool initially_set,
                    const char* name) {
  return object_naming::create_or_open(ObjectKind::kEvent, NameSpace::kObjects, name, [&](Slot& slot) {
    slot.manual_reset = manual_reset ? 1u : 0u;
    slot.word.store(initially_set ? 1u : 0u);
    return true;
  });
}

Handle open_event(const char* name) { return object_naming::open_existing(ObjectKind::kEvent, name); }

bool set_event(Handle event) {
  Slot* slot = object_of(event, ObjectKind::kEvent);
  if (slot == nullptr) return false;
  object_wait::publish(*slot, 1);
  return true;
}

bool reset_event(Handle event) {
  Slot* slot = object_of(event, ObjectKind::kEvent);
  if (slot == nullptr) return false;
  slot->word.store(0);
  return true;
}

Handle create_semaphore(const SecurityAttributes* attributes, std::int32_t initial_count,
                        std::int32_t maximum_count, const char* name) {
  if (maximum_count <= 0 || initial_count < 0 || initial_count > maximum_count) {
    set_last_error(kErrorInvalidParameter);
    return kNullHandle;
  }
  return object_naming::create_or_open(ObjectKind::kSemaphore, NameSpace::kObjects, name, [&](Slot& slot) {
    slot.maximum_count = maximum_count;
    slot.word.store(static_cast<std::uint32_t>(initial_count));
    return true;
  });
}

Handle open_semaphore(const char* name) { return object_naming::open_existing(ObjectKind::kSemaphore, name); }

bool release_semaphore(Handle semaphore, std::int32_t release_count, std::int32_t* previous_count) {
  Slot* slot = object_of(semaphore, ObjectKind::kSemaphore);
  if (slot == nullptr) return false;
  if (release_count <= 0) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  std::uint32_t count = slot->word.load();
  do {
    if (release_count > slot->maximum_count - static_cast<std::int32_t>(count)) {
      set_last_error(kErrorTooManyPosts);
      return false;
    }
  } while (!slot->word.compare_exchange_weak(count, count + static_cast<std::uint32_t>(release_count)));
  if (previous_count != nullptr) *previous_count = static_cast<std::int32_t>(count);
  if (slot->waiters.load() != 0) object_futex::wake_all(slot->word);
  return true;
}

Handle create_mutex(const SecurityAttributes* attributes, bool initially_owned, const char* name) {
  return object_naming::create_or_open(ObjectKind::kMutex, NameSpace::kObjects, name, [&](Slot& slot) {
    if (initially_owned) object_wait::take_fresh_mutex(slot);
    return true;
  });
}

Handle open_mutex(const char* name) { return object_naming::open_existing(ObjectKind::kMutex, name); }

bool release_mutex(Handle mutex) {
  Slot* slot = object_of(mutex, ObjectKind::kMutex);
  return slot != nullptr && object_wait::release_mutex(*slot);
}

std::uint32_t wait_for_object(Handle object, std::uint32_t timeout_ms) {
  return wait_for_objects(std::span(&object, 1), false, timeout_ms);
}

std::uint32_t wait_for_objects(std::span<const Handle> objects, bool wait_all, std::uint32_t timeout_ms) {
  if (objects.empty() || objects.size() > kMaximumWaitObjects) {
    set_last_error(kErrorInvalidParameter);
    return kWaitFailed;
  }
  Table* table = object_table::current();
  if (table == nullptr) return kWaitFailed;
  std::array<object_wait::Target, kMaximumWaitObjects> targets{};
  for (std::size_t i = 0; i < objects.size(); ++i) {
    Slot* slot = object_table::resolve(*table, objects[i]);
    if (slot == nullptr || !waitable(slot->kind)) {
      set_last_error(kErrorInvalidHandle);
      return kWaitFailed;
    }
    // Taking one object twice at one instant means nothing.
    if (wait_all && std::any_of(targets.begin(), targets.begin() + i,
                                [&](const object_wait::Target& t) { return t.slot == slot; })) {
      set_last_error(kErrorInvalidParameter);
      return kWaitFailed;
    }
    targets[i] = object_wait::Target{slot, object_table::generation_of(objects[i])};
  }
  return object_wait::wait(std::span(targets).first(objects.size()), wait_all, timeout_ms);
}

void set_device_handle_closer(bool (*closer)(Handle)) { device_closer.store(closer); }

bool close_handle(Handle handle) {
  if (handle >= kFirstDeviceHandle) {
    bool (*closer)(Handle) = device_closer.load();
    if (closer != nullptr) return closer(handle);
    set_last_error(kErrorInvalidHandle);
    return false;
  }
  Table* table = object_table::current();
  if (table == nullptr) return false;
  object_table::Lock lock(*table);
  Slot* slot = object_table::resolve(*table, handle);
  if (slot == nullptr) {
    set_last_error(kErrorInvalidHandle);
    return false;
  }
  return object_table::drop_reference(*table, *slot, Reference::kHandle);
}

Handle duplicate_handle(Handle handle) {
  Table* table = object_table::current();
  if (table == nullptr) return kNullHandle;
  object_table::Lock lock(*table);
  Slot* slot = object_table::resolve(*table, handle);
  if (slot == nullptr) {
    set_last_error(kErrorInvalidHandle);
    return kNullHandle;
  }
  if (!object_table::add_reference(*slot, Reference::kHandle)) return kNullHandle;
  return handle;
}

ObjectKind object_kind(Handle handle) {
  Table* table = object_table::current();
  if (table == nullptr) return ObjectKind::kNone;
  Slot* slot = object_table::resolve(*table, handle);
  return slot != nullptr ? slot->kind : ObjectKind::kNone;
}

}  // namespace plat
