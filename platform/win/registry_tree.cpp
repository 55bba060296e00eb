#include "platform/win/registry_tree.h"

#include <algorithm>

namespace plat {
namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool folded_less(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) {
                                        return static_cast<unsigned char>(fold(x)) <
                                               static_cast<unsigned char>(fold(y));
                                      });
}

bool has_control_character(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

constexpr std::array<std::string_view, kRegistryRootCount> kRootNames = {
    "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER"};

}  // namespace

bool registry_names_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return fold(x) == fold(y); });
}

bool registry_root_valid(RegistryRoot root) {
  return static_cast<std::uint32_t>(root) < kRegistryRootCount;
}

std::string_view registry_root_name(RegistryRoot root) {
  return registry_root_valid(root) ? kRootNames[static_cast<std::uint32_t>(root)] : std::string_view();
}

std::optional<RegistryRoot> parse_registry_root(std::string_view name) {
  for (std::uint32_t i = 0; i < kRegistryRootCount; ++i) {
    if (registry_names_equal(name, kRootNames[i])) return static_cast<RegistryRoot>(i);
  }
  return std::nullopt;
}

RegistryNode& registry_root_node(RegistryTree& tree, RegistryRoot root) {
  return tree.roots[static_cast<std::uint32_t>(root)];
}

std::optional<std::vector<std::string>> split_registry_path(std::string_view path) {
  std::vector<std::string> parts;
  while (!path.empty()) {
    std::size_t end = path.find('\\');
    std::string_view part = path.substr(0, end);
    if (part.size() > kMaxRegistryName || has_control_character(part)) return std::nullopt;
    if (!part.empty()) parts.emplace_back(part);
    if (parts.size() > kMaxRegistryDepth) return std::nullopt;
    if (end == std::string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return parts;
}

bool registry_value_name_valid(std::string_view name) {
  return name.size() <= kMaxRegistryValueName;
}

RegistryNode* find_registry_key(RegistryNode& from, const std::vector<std::string>& parts) {
  RegistryNode* node = &from;
  for (const std::string& part : parts) {
    auto it = std::find_if(node->subkeys.begin(), node->subkeys.end(),
                           [&](const RegistryNode& k) { return registry_names_equal(k.name, part); });
    if (it == node->subkeys.end()) return nullptr;
    node = &*it;
  }
  return node;
}

RegistryNode& create_registry_key(RegistryNode& from, const std::vector<std::string>& parts,
                                  bool* created) {
  RegistryNode* node = &from;
  for (const std::string& part : parts) {
    auto& subkeys = node->subkeys;
    auto it = std::find_if(subkeys.begin(), subkeys.end(),
                           [&](const RegistryNode& k) { return registry_names_equal(k.name, part); });
    if (it == subkeys.end()) {
      auto place = std::find_if(subkeys.begin(), subkeys.end(),
                                [&](const RegistryNode& k) { return folded_less(part, k.name); });
      it = subkeys.insert(place, RegistryNode{part, {}, {}});
      if (created) *created = true;
    }
    node = &*it;
  }
  return *node;
}

RegistryValue* find_registry_value(RegistryNode& key, std::string_view name) {
  auto it = std::find_if(key.values.begin(), key.values.end(),
                         [&](const RegistryValue& v) { return registry_names_equal(v.name, name); });
  return it == key.values.end() ? nullptr : &*it;
}

void set_registry_value(RegistryNode& key, std::string_view name, std::uint32_t type,
                        std::vector<std::uint8_t> data) {
  if (RegistryValue* existing = find_registry_value(key, name)) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  key.values.push_back(RegistryValue{std::string(name), type, std::move(data)});
}

}  // namespace plat
