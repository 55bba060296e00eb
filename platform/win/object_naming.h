// Creating and opening objects by name in the object table, shared by the
// kernel objects and the sections.
#pragma once

#include <functional>

#include "platform/win/object_table.h"

namespace plat::object_naming {

// Opens the object of that name when one exists (kErrorAlreadyExists; another
// kind fails with kErrorInvalidHandle), else makes a fresh one and lets
// `prepare` fill it; a false from `prepare` undoes the creation. Each success
// is one handle reference of the calling process.
Handle create_or_open(ObjectKind kind, object_table::NameSpace name_space, const char* name,
                      const std::function<bool(object_table::Slot&)>& prepare);
// kErrorFileNotFound when no object has the name, kErrorInvalidHandle when
// the one that has it is of another kind.
Handle open_existing(ObjectKind kind, const char* name);

}  // namespace plat::object_naming
