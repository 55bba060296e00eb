#include "platform/win/registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/registry_store.h"
#include "platform/win/registry_tree.h"

namespace plat {

struct RegistryKey {
  RegistryRoot root;
  std::vector<std::string> parts;
};

namespace {

using KeyPath = RegistryKey;

// Handles are checked against the open ones, so a stale or made-up handle
// fails instead of being followed.
struct OpenKeys {
  std::mutex lock;
  std::unordered_map<RegistryKey*, std::unique_ptr<RegistryKey>> keys;
};

OpenKeys& open_keys() {
  static OpenKeys* keys = new OpenKeys;  // outlives static destructors of other modules
  return *keys;
}

RegistryKey* add_open_key(KeyPath path) {
  auto key = std::make_unique<RegistryKey>(std::move(path));
  RegistryKey* handle = key.get();
  OpenKeys& keys = open_keys();
  std::lock_guard guard(keys.lock);
  keys.keys.emplace(handle, std::move(key));
  return handle;
}

std::optional<KeyPath> path_of(RegistryKey* key) {
  OpenKeys& keys = open_keys();
  std::lock_guard guard(keys.lock);
  auto it = keys.keys.find(key);
  if (it == keys.keys.end()) return std::nullopt;
  return *it->second;
}

std::string_view value_name(const char* name) { return name ? std::string_view(name) : std::string_view(); }

std::uint32_t open_or_create(RegistryRoot root, const char* path, RegistryKey** out, bool create) {
  if (!out) return kErrorInvalidParameter;
  *out = nullptr;
  if (!registry_root_valid(root)) return kErrorInvalidHandle;
  auto parts = split_registry_path(path ? path : "");
  if (!parts) return kErrorInvalidParameter;
  std::uint32_t result;
  if (create) {
    result = update_registry([&](RegistryTree& tree, bool* changed) {
      create_registry_key(registry_root_node(tree, root), *parts, changed);
      return kErrorSuccess;
    });
  } else {
    RegistryTree tree;
    result = load_registry(tree);
    if (result == kErrorSuccess && !find_registry_key(registry_root_node(tree, root), *parts))
      result = kErrorFileNotFound;
  }
  if (result == kErrorSuccess) *out = add_open_key(KeyPath{root, std::move(*parts)});
  return result;
}

// Runs `read` on a fresh reading of the key.
template <typename Read>
std::uint32_t with_key(RegistryKey* handle, Read read) {
  auto path = path_of(handle);
  if (!path) return kErrorInvalidHandle;
  RegistryTree tree;
  if (std::uint32_t result = load_registry(tree); result != kErrorSuccess) return result;
  RegistryNode* node = find_registry_key(registry_root_node(tree, path->root), path->parts);
  return node ? read(*node) : kErrorKeyDeleted;
}

// Runs `change` on the key under the registry lock; it sets *changed when it
// altered anything.
template <typename Change>
std::uint32_t change_key(RegistryKey* handle, Change change) {
  auto path = path_of(handle);
  if (!path) return kErrorInvalidHandle;
  return update_registry([&](RegistryTree& tree, bool* changed) {
    RegistryNode* node = find_registry_key(registry_root_node(tree, path->root), path->parts);
    return node ? change(*node, changed) : kErrorKeyDeleted;
  });
}

// Copies `bytes` into data (capacity *size) the way every query answers.
std::uint32_t hand_out(const std::vector<std::uint8_t>& bytes, void* data, std::uint32_t* size) {
  if (!size) return kErrorSuccess;
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data && *size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (data && needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return kErrorSuccess;
}

// Copies a name with its terminator into name (capacity *name_size).
bool hand_out_name(const std::string& text, char* name, std::uint32_t* name_size) {
  const auto length = static_cast<std::uint32_t>(text.size());
  if (*name_size < length + 1) {
    *name_size = length + 1;
    return false;
  }
  std::memcpy(name, text.c_str(), length + 1);
  *name_size = length;
  return true;
}

}  // namespace

std::uint32_t reg_open_key(RegistryRoot root, const char* path, RegistryKey** out) {
  return open_or_create(root, path, out, false);
}

std::uint32_t reg_create_key(RegistryRoot root, const char* path, RegistryKey** out) {
  return open_or_create(root, path, out, true);
}

void reg_close_key(RegistryKey* key) {
  OpenKeys& keys = open_keys();
  std::lock_guard guard(keys.lock);
  keys.keys.erase(key);
}

std::uint32_t reg_query_value(RegistryKey* key, const char* name, std::uint32_t* type, void* data,
                              std::uint32_t* size) {
  if (data && !size) return kErrorInvalidParameter;
  return with_key(key, [&](RegistryNode& node) {
    const RegistryValue* value = find_registry_value(node, value_name(name));
    if (!value) return kErrorFileNotFound;
    if (type) *type = value->type;
    return hand_out(value->data, data, size);
  });
}

std::uint32_t reg_set_value(RegistryKey* key, const char* name, std::uint32_t type, const void* data,
                            std::uint32_t size) {
  if ((!data && size) || size > kMaxRegistryValueSize || !registry_value_name_valid(value_name(name)))
    return kErrorInvalidParameter;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::vector<std::uint8_t> copy(bytes, bytes + (data ? size : 0));
  return change_key(key, [&](RegistryNode& node, bool* changed) {
    set_registry_value(node, value_name(name), type, std::move(copy));
    *changed = true;
    return kErrorSuccess;
  });
}

std::uint32_t reg_delete_value(RegistryKey* key, const char* name) {
  return change_key(key, [&](RegistryNode& node, bool* changed) {
    auto& values = node.values;
    auto it = std::find_if(values.begin(), values.end(), [&](const RegistryValue& v) {
      return registry_names_equal(v.name, value_name(name));
    });
    if (it == values.end()) return kErrorFileNotFound;
    values.erase(it);
    *changed = true;
    return kErrorSuccess;
  });
}

std::uint32_t reg_delete_key(RegistryKey* key, const char* subkey) {
  auto parts = split_registry_path(subkey ? subkey : "");
  if (!parts || parts->empty()) return kErrorInvalidParameter;
  std::string leaf = parts->back();
  parts->pop_back();
  return change_key(key, [&](RegistryNode& node, bool* changed) {
    RegistryNode* parent = find_registry_key(node, *parts);
    if (!parent) return kErrorFileNotFound;
    auto& subkeys = parent->subkeys;
    auto it = std::find_if(subkeys.begin(), subkeys.end(),
                           [&](const RegistryNode& k) { return registry_names_equal(k.name, leaf); });
    if (it == subkeys.end()) return kErrorFileNotFound;
    if (!it->subkeys.empty()) return kErrorAccessDenied;
    subkeys.erase(it);
    *changed = true;
    return kErrorSuccess;
  });
}

std::uint32_t reg_enum_key(RegistryKey* key, std::uint32_t index, char* name,
                           std::uint32_t* name_size) {
  if (!name || !name_size) return kErrorInvalidParameter;
  return with_key(key, [&](RegistryNode& node) {
    if (index >= node.subkeys.size()) return kErrorNoMoreItems;
    return hand_out_name(node.subkeys[index].name, name, name_size) ? kErrorSuccess : kErrorMoreData;
  });
}

std::uint32_t reg_enum_value(RegistryKey* key, std::uint32_t index, char* name,
                             std::uint32_t* name_size, std::uint32_t* type, void* data,
                             std::uint32_t* data_size) {
  if (!name || !name_size || (data && !data_size)) return kErrorInvalidParameter;
  return with_key(key, [&](RegistryNode& node) {
    if (index >= node.values.size()) return kErrorNoMoreItems;
    const RegistryValue& value = node.values[index];
    bool name_fits = hand_out_name(value.name, name, name_size);
    if (type) *type = value.type;
    std::uint32_t data_result = hand_out(value.data, data, data_size);
    return name_fits ? data_result : kErrorMoreData;
  });
}

}  // namespace plat
