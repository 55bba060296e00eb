// Registry access that the options file can stand in for: the board library
// and the server driver keep their settings beside the driver in options-file
// mode, and in the registry otherwise.
#include "qellib/QelWinRegistry.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win/errors.h"
#include "platform/win/profile.h"
#include "qellib/QelLog.h"
#include "qellib/QelWinOptions.h"
#include "qellib/QelWinOptionsState.h"

namespace {

constexpr std::string_view kTargetDirMarker = "<TARGETDIR>";

plat::RegistryRoot RootOf(std::uint32_t selector) {
  switch (selector) {
    case kQelWinRootUsers: return plat::RegistryRoot::kUsers;
    case kQelWinRootCurrentUser: return plat::RegistryRoot::kCurrentUser;
    default: return plat::RegistryRoot::kLocalMachine;
  }
}

const char* RootName(std::uint32_t selector) {
  switch (selector) {
    case kQelWinRootUsers: return "HKEY_USERS";
    case kQelWinRootCurrentUser: return "HKEY_CURRENT_USER";
    default: return "HKEY_LOCAL_MACHINE";
  }
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The options file keeps one section per key: "<root name>\<key path>".
std::string SectionOf(std::uint32_t root, const char* key) {
  return std::string(RootName(root)) + "\\" + OrEmpty(key);
}

// "<TARGETDIR>\sub" names a file below the driver directory, wherever it lies.
void ReplaceTargetDir(char* text, std::uint32_t capacity) {
  std::string_view read(text);
  if (read.substr(0, kTargetDirMarker.size()) != kTargetDirMarker) return;
  std::string replaced = QelWinDriverDir() + std::string(read.substr(kTargetDirMarker.size()));
  if (replaced.size() + 1 > capacity) return;
  std::memcpy(text, replaced.c_str(), replaced.size() + 1);
}

QelHwStatus ReadOptionsFile(std::uint32_t root, const char* key, const char* value,
                            std::uint32_t type, void* data, std::uint32_t* size) {
  std::string section = SectionOf(root, key);
  std::string file = QelWinOptionsPath();
  switch (type) {
    case kQelWinTypeDword: {
      if (*size < sizeof(std::uint32_t)) {
        LogPutLog(kQelLogError, __FILE__, __LINE__,
                  "%s, QelWinReadRegistry => output buffer too small", QelWinModuleLabel());
        return QELHW_ERROR_ARG_INVALID;
      }
      std::uint32_t number = plat::get_private_profile_int(section.c_str(), OrEmpty(value), 0,
                                                           file.c_str());
      std::memcpy(data, &number, sizeof number);
      return QELHW_OK;
    }
    case kQelWinTypeString: {
      if (*size == 0) return QELHW_OK;
      auto* text = static_cast<char*>(data);
      plat::get_private_profile_string(section.c_str(), OrEmpty(value), "", text, *size,
                                       file.c_str());
      text[*size - 1] = '\0';
      ReplaceTargetDir(text, *size);
      *size = static_cast<std::uint32_t>(std::strlen(text));
      return QELHW_OK;
    }
    default:
      LogPutLog(kQelLogError, __FILE__, __LINE__,
                "%s, QelWinReadRegistry => Key type not supported (%d)", QelWinModuleLabel(),
                static_cast<int>(type));
      return QELHW_ERROR_NOT_SUPPORTED;
  }
}

QelHwStatus ReadRegistry(std::uint32_t root, const char* key, const char* value,
                         std::uint32_t type, void* data, std::uint32_t* size) {
  switch (type) {
    case kQelWinTypeDword: {
      if (*size < sizeof(std::uint32_t)) {
        LogPutLog(kQelLogError, __FILE__, __LINE__,
                  "%s, QelWinReadRegistry => output buffer two small", QelWinModuleLabel());
        return QELHW_ERROR_ARG_INVALID;
      }
      std::uint32_t number = 0;
      QelHwStatus status = ReadRegistryDword(RootOf(root), key, value, &number);
      std::memcpy(data, &number, sizeof number);
      return status;
    }
    case kQelWinTypeString:
      return ReadRegistryString(RootOf(root), key, value, static_cast<char*>(data), *size);
    case kQelWinTypeBinary:
      return ReadRegistryBinary(RootOf(root), key, value, data, *size);
    default:
      LogPutLog(kQelLogError, __FILE__, __LINE__,
                "%s, QelWinReadRegistry => Key type not supported (%d)", QelWinModuleLabel(),
                static_cast<int>(type));
      return QELHW_ERROR_NOT_SUPPORTED;
  }
}

QelHwStatus WriteOptionsFile(std::uint32_t root, const char* key, const char* value,
                             std::uint32_t type, const void* data, std::uint32_t size) {
  std::string section = SectionOf(root, key);
  std::string file = QelWinOptionsPath();
  std::array<char, 16> number_text{};
  const char* text = nullptr;
  switch (type) {
    case kQelWinTypeDword: {
      if (size < sizeof(std::uint32_t)) {
        LogPutLog(kQelLogError, __FILE__, __LINE__,
                  "%s, QelWinWriteRegistry => output buffer two small", QelWinModuleLabel());
        return QELHW_ERROR_ARG_INVALID;
      }
      std::uint32_t number = 0;
      std::memcpy(&number, data, sizeof number);
      std::snprintf(number_text.data(), number_text.size(), "0x%08x", number);
      text = number_text.data();
      break;
    }
    case kQelWinTypeString:
      text = static_cast<const char*>(data);
      break;
    default:
      LogPutLog(kQelLogError, __FILE__, __LINE__,
                "%s, QelWinWriteRegistry => Key type not supported (%d)", QelWinModuleLabel(),
                static_cast<int>(type));
      return QELHW_ERROR_NOT_SUPPORTED;
  }
  if (!plat::write_private_profile_string(section.c_str(), OrEmpty(value), text, file.c_str()))
    return QELHW_ERROR_REGISTRY_KEY_WRITE;
  return QELHW_OK;
}

QelHwStatus WriteRegistry(std::uint32_t root, const char* key, const char* value,
                          std::uint32_t type, const void* data, std::uint32_t size) {
  switch (type) {
    case kQelWinTypeDword: {
      if (size < sizeof(std::uint32_t)) {
        LogPutLog(kQelLogError, __FILE__, __LINE__,
                  "%s, QelWinWriteRegistry => output buffer two small", QelWinModuleLabel());
        return QELHW_ERROR_ARG_INVALID;
      }
      std::uint32_t number = 0;
      std::memcpy(&number, data, sizeof number);
      return WriteRegistryDword(RootOf(root), key, value, number);
    }
    case kQelWinTypeString:
      return WriteRegistryString(RootOf(root), key, value, static_cast<const char*>(data));
    case kQelWinTypeBinary:
      return WriteRegistryBinary(RootOf(root), key, value, data, size);
    default:
      LogPutLog(kQelLogError, __FILE__, __LINE__,
                "%s, QelWinWriteRegistry => Key type not supported (%d)", QelWinModuleLabel(),
                static_cast<int>(type));
      return QELHW_ERROR_NOT_SUPPORTED;
  }
}

// Appends a name and its terminator; false when the output is full.
bool AppendName(const char* name, std::uint32_t length, char* names, std::uint32_t size,
                std::uint32_t& used) {
  if (length + 1 > size - used) return false;
  std::memcpy(names + used, name, length);
  names[used + length] = '\0';
  used += length + 1;
  return true;
}

struct KeyCloser {
  void operator()(plat::RegistryKey* key) const { plat::reg_close_key(key); }
};

// One subkey (or value) name by index; a name longer than the first guess is
// read again with the room the store asks for.
std::uint32_t EnumName(plat::RegistryKey* key, bool subkeys, std::uint32_t index,
                       std::string& name) {
  name.assign(plat::kMaxRegistryName + 1, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto length = static_cast<std::uint32_t>(name.size());
    std::uint32_t error =
        subkeys ? plat::reg_enum_key(key, index, name.data(), &length)
                : plat::reg_enum_value(key, index, name.data(), &length, nullptr, nullptr, nullptr);
    if (error == plat::kErrorMoreData && length > name.size() && length < 0x10000) {
      name.assign(length + 1, '\0');
      continue;
    }
    if (error == plat::kErrorSuccess) name.resize(std::min<std::size_t>(length, name.size()));
    return error;
  }
  return plat::kErrorMoreData;
}

// Walks the subkeys (values: false) of a key into the list of names.
QelHwStatus EnumRegistry(std::uint32_t root, const char* key, bool subkeys, std::uint32_t* count,
                         char* names, std::uint32_t size) {
  plat::RegistryKey* raw_key = nullptr;
  if (plat::reg_open_key(RootOf(root), OrEmpty(key), &raw_key) != plat::kErrorSuccess)
    return QELHW_ERROR_REGISTRY_ACCESS;
  std::unique_ptr<plat::RegistryKey, KeyCloser> open_key(raw_key);
  std::uint32_t used = 0;
  std::string name;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t error = EnumName(open_key.get(), subkeys, index, name);
    if (error == plat::kErrorNoMoreItems) {
      *count = index;
      return QELHW_OK;
    }
    if (error != plat::kErrorSuccess ||
        !AppendName(name.data(), static_cast<std::uint32_t>(name.size()), names, size, used))
      return QELHW_ERROR_REGISTRY_ACCESS;
  }
}

// The options file's section lists its entries as the key's "subkeys".
QelHwStatus EnumOptionsSection(std::uint32_t root, const char* key, std::uint32_t* count,
                               char* names, std::uint32_t size) {
  std::string section = SectionOf(root, key);
  std::string file = QelWinOptionsPath();
  if (size < 2) return QELHW_ERROR_REGISTRY_ACCESS;
  std::uint32_t length =
      plat::get_private_profile_string(section.c_str(), nullptr, "", names, size, file.c_str());
  if (length > size - 2) return QELHW_ERROR_REGISTRY_ACCESS;
  std::uint32_t found = 0;
  for (std::uint32_t at = 0; at < length && names[at] != '\0'; ++found)
    at += static_cast<std::uint32_t>(std::strlen(names + at)) + 1;
  *count = found;
  return QELHW_OK;
}

}  // namespace

QelHwStatus QelWinReadRegistry(std::uint32_t root, const char* key, const char* value,
                               std::uint32_t type, void* data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return QELHW_ERROR_NULL_PTR;
  if (QelWinIniMode()) return ReadOptionsFile(root, key, value, type, data, size);
  return ReadRegistry(root, key, value, type, data, size);
}

QelHwStatus QelWinWriteRegistry(std::uint32_t root, const char* key, const char* value,
                                std::uint32_t type, const void* data, std::uint32_t size) {
  if (data == nullptr) return QELHW_ERROR_NULL_PTR;
  if (QelWinIniMode()) return WriteOptionsFile(root, key, value, type, data, size);
  return WriteRegistry(root, key, value, type, data, size);
}

QelHwStatus QelWinEnumKeys(std::uint32_t root, const char* key, std::uint32_t* count, char* names,
                           std::uint32_t size) {
  if (count == nullptr || names == nullptr) return QELHW_ERROR_NULL_PTR;
  *count = 0;
  if (QelWinIniMode()) return EnumOptionsSection(root, key, count, names, size);
  return EnumRegistry(root, key, true, count, names, size);
}

QelHwStatus QelWinEnumValues(std::uint32_t root, const char* key, std::uint32_t* count,
                             char* names, std::uint32_t size) {
  if (count == nullptr || names == nullptr) return QELHW_ERROR_NULL_PTR;
  *count = 0;
  if (QelWinIniMode()) return QELHW_ERROR_NOT_SUPPORTED;
  return EnumRegistry(root, key, false, count, names, size);
}
