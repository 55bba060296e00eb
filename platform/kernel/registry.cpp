#include "platform/kernel/registry.h"

#include <cctype>
#include <string>

#include "platform/kernel/kstring.h"
#include "platform/win/errors.h"
#include "platform/win/registry.h"

namespace plat::kernel {

namespace {

bool starts_with_folded(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// Splits a kernel registry path into a root and the key path under it.
bool split_path(const std::string& path, RegistryRoot* root, std::string* rest) {
  struct Prefix {
    const char* text;
    RegistryRoot root;
  };
  for (auto p : {Prefix{"\\REGISTRY\\MACHINE", RegistryRoot::kLocalMachine},
                 Prefix{"\\REGISTRY\\USER", RegistryRoot::kUsers}}) {
    std::string prefix = p.text;
    if (!starts_with_folded(path, prefix)) continue;
    std::string tail = path.substr(prefix.size());
    if (!tail.empty() && tail[0] != '\\') continue;
    while (!tail.empty() && tail[0] == '\\') tail.erase(0, 1);
    *root = p.root;
    *rest = tail;
    return true;
  }
  return false;
}

NtStatus status_of(std::uint32_t error) {
  switch (error) {
    case kErrorSuccess: return kStatusSuccess;
    case kErrorFileNotFound:
    case kErrorPathNotFound: return kStatusObjectNameNotFound;
    case kErrorMoreData: return kStatusBufferOverflow;
    case kErrorInvalidParameter: return kStatusInvalidParameter;
    default: return kStatusUnsuccessful;
  }
}

}  // namespace

NtStatus query_registry_value(const wchar_t* key_path, const wchar_t* value_name,
                              std::uint32_t* type, void* data, std::uint32_t* size) {
  if (key_path == nullptr || size == nullptr) return kStatusInvalidParameter;
  RegistryRoot root;
  std::string rest;
  if (!split_path(to_utf8(std::wstring_view(key_path)), &root, &rest)) return kStatusObjectNameNotFound;
  RegistryKey* key = nullptr;
  std::uint32_t error = reg_open_key(root, rest.c_str(), &key);
  if (error != kErrorSuccess) return status_of(error);
  std::string name = value_name ? to_utf8(std::wstring_view(value_name)) : std::string();
  std::uint32_t value_type = 0;
  error = reg_query_value(key, name.c_str(), &value_type, data, size);
  reg_close_key(key);
  if (type) *type = value_type;
  return status_of(error);
}

NtStatus query_registry_dword(const wchar_t* key_path, const wchar_t* value_name,
                              std::uint32_t* value) {
  if (value == nullptr) return kStatusInvalidParameter;
  std::uint32_t type = 0;
  std::uint32_t data = 0;
  std::uint32_t size = sizeof data;
  NtStatus status = query_registry_value(key_path, value_name, &type, &data, &size);
  if (!nt_success(status)) return status;
  if (type != kRegDword || size != sizeof data) return kStatusObjectNameNotFound;
  *value = data;
  return kStatusSuccess;
}

}  // namespace plat::kernel
