#include "platform/win/object_naming.h"

#include <string_view>

#include "platform/win/errors.h"

namespace plat::object_naming {

using object_table::Lock;
using object_table::Reference;
using object_table::Slot;
using object_table::Table;

Handle create_or_open(ObjectKind kind, object_table::NameSpace name_space, const char* name,
                      const std::function<bool(Slot&)>& prepare) {
  std::string_view wanted = name != nullptr ? std::string_view(name) : std::string_view();
  if (wanted.size() > kMaxObjectName) {
    set_last_error(kErrorInvalidParameter);
    return kNullHandle;
  }
  Table* table = object_table::current();
  if (table == nullptr) return kNullHandle;
  Lock lock(*table);
  object_table::reclaim_dead_holders(*table);
  if (Slot* existing = object_table::find_named(*table, name_space, wanted)) {
    if (existing->kind != kind) {
      set_last_error(kErrorInvalidHandle);
      return kNullHandle;
    }
    if (!object_table::add_reference(*existing, Reference::kHandle)) return kNullHandle;
    set_last_error(kErrorAlreadyExists);
    return object_table::handle_of(*table, *existing);
  }
  Slot* slot = object_table::allocate(*table, kind, name_space, wanted);
  if (slot == nullptr || !object_table::add_reference(*slot, Reference::kHandle)) return kNullHandle;
  if (!prepare(*slot)) {
    std::uint32_t error = last_error();
    object_table::drop_reference(*table, *slot, Reference::kHandle);
    set_last_error(error);
    return kNullHandle;
  }
  set_last_error(kErrorSuccess);
  return object_table::handle_of(*table, *slot);
}

Handle open_existing(ObjectKind kind, const char* name) {
  if (name == nullptr || *name == '\0' || std::string_view(name).size() > kMaxObjectName) {
    set_last_error(kErrorInvalidParameter);
    return kNullHandle;
  }
  Table* table = object_table::current();
  if (table == nullptr) return kNullHandle;
  Lock lock(*table);
  object_table::reclaim_dead_holders(*table);
  Slot* slot = object_table::find_named(*table, object_table::NameSpace::kObjects, name);
  if (slot == nullptr) {
    set_last_error(kErrorFileNotFound);
    return kNullHandle;
  }
  if (slot->kind != kind) {
    set_last_error(kErrorInvalidHandle);
    return kNullHandle;
  }
  if (!object_table::add_reference(*slot, Reference::kHandle)) return kNullHandle;
  return object_table::handle_of(*table, *slot);
}

}  // namespace plat::object_naming
