// The registry held in memory: three root trees of keys, each key with its
// values (in the order they were first set) and its subkeys (kept sorted
// without regard to case, which is the order enumeration gives).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/registry.h"

namespace plat {

struct RegistryValue {
  std::string name;  // empty: the key's default value
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
};

struct RegistryNode {
  std::string name;
  std::vector<RegistryValue> values;
  std::vector<RegistryNode> subkeys;
};

inline constexpr std::size_t kRegistryRootCount = 3;

struct RegistryTree {
  std::array<RegistryNode, kRegistryRootCount> roots;
};

inline constexpr std::size_t kMaxRegistryValueName = 16383;
inline constexpr std::size_t kMaxRegistryValueSize = 1u << 20;
inline constexpr std::size_t kMaxRegistryDepth = 512;

bool registry_names_equal(std::string_view a, std::string_view b);

// "HKEY_LOCAL_MACHINE" and so on; parsing ignores case.
std::string_view registry_root_name(RegistryRoot root);
std::optional<RegistryRoot> parse_registry_root(std::string_view name);
// False for an unknown root value.
bool registry_root_valid(RegistryRoot root);
RegistryNode& registry_root_node(RegistryTree& tree, RegistryRoot root);

// Splits a backslash-separated key path; empty parts are skipped. Nullopt
// when a part is too long or holds a control character.
std::optional<std::vector<std::string>> split_registry_path(std::string_view path);
bool registry_value_name_valid(std::string_view name);

RegistryNode* find_registry_key(RegistryNode& from, const std::vector<std::string>& parts);
// Finds or makes the key and its parents; *created tells whether any was made.
RegistryNode& create_registry_key(RegistryNode& from, const std::vector<std::string>& parts,
                                  bool* created);
RegistryValue* find_registry_value(RegistryNode& key, std::string_view name);
// Sets the value, keeping the first spelling of an existing name.
void set_registry_value(RegistryNode& key, std::string_view name, std::uint32_t type,
                        std::vector<std::uint8_t> data);

}  // namespace plat
