// Typed reads and writes of single registry values.
#include <cstring>
#include <memory>

#include "platform/win/errors.h"
#include "qellib/QelLog.h"
#include "qellib/QelWinOptions.h"
#include "qellib/QelWinRegistry.h"

namespace {

struct KeyCloser {
  void operator()(plat::RegistryKey* key) const { plat::reg_close_key(key); }
};
using OpenKey = std::unique_ptr<plat::RegistryKey, KeyCloser>;

enum class SizeRule { kAtLeast, kLarger };

// What differs between the DWORD, string and binary primitives.
struct ValueKind {
  const char* reader;            // names the reader in its log lines
  const char* write_mismatch;    // line of a write over a value of another type
  std::uint32_t write_type;
  SizeRule size_rule;
  bool (*accepts)(std::uint32_t stored_type);
};

bool IsDword(std::uint32_t type) { return type == plat::kRegDword; }
bool IsString(std::uint32_t type) { return type == plat::kRegSz || type == plat::kRegExpandSz; }
bool IsBinary(std::uint32_t type) { return type == plat::kRegBinary; }

constexpr ValueKind kDword{"ReadRegistryDword", "%s, ReadRegistryDword => Incompatible key type",
                           plat::kRegDword, SizeRule::kAtLeast, IsDword};
constexpr ValueKind kString{"ReadRegistryString",
                            "%s, WriteRegistryString => Incompatible key type", plat::kRegSz,
                            SizeRule::kLarger, IsString};
constexpr ValueKind kBinary{"ReadRegistryBinary",
                            "%s, WriteRegistryBinary => Incompatible key type", plat::kRegBinary,
                            SizeRule::kAtLeast, IsBinary};

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

bool FitsRule(SizeRule rule, std::uint32_t capacity, std::uint32_t stored) {
  return rule == SizeRule::kLarger ? capacity > stored : capacity >= stored;
}

QelHwStatus ReadValue(const ValueKind& kind, plat::RegistryRoot root, const char* key,
                      const char* value, void* data, std::uint32_t size) {
  if (data == nullptr) return QELHW_ERROR_NULL_PTR;
  plat::RegistryKey* raw_key = nullptr;
  std::uint32_t error = plat::reg_open_key(root, OrEmpty(key), &raw_key);
  OpenKey open_key(raw_key);
  // Absent settings read as zero: callers treat zero as "use the default".
  if (error == plat::kErrorFileNotFound) {
    std::memset(data, 0, size);
    return QELHW_OK;
  }
  if (error != plat::kErrorSuccess) return QELHW_ERROR_REGISTRY_KEY_OPEN;

  std::uint32_t type = 0;
  std::uint32_t stored = 0;
  error = plat::reg_query_value(open_key.get(), OrEmpty(value), &type, nullptr, &stored);
  if (error == plat::kErrorFileNotFound) {
    std::memset(data, 0, size);
    return QELHW_OK;
  }
  if (error != plat::kErrorSuccess) return QELHW_ERROR_REGISTRY_ACCESS;
  if (!kind.accepts(type)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, %s => Incompatible key type",
              QelWinModuleLabel(), kind.reader);
    return QELHW_ERROR_ARG_INVALID;
  }
  if (!FitsRule(kind.size_rule, size, stored)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, %s => Outbut buffer two smale",
              QelWinModuleLabel(), kind.reader);
    return QELHW_ERROR_ARG_INVALID;
  }
  std::uint32_t read_size = size;
  error = plat::reg_query_value(open_key.get(), OrEmpty(value), &type, data, &read_size);
  if (error != plat::kErrorSuccess) return QELHW_ERROR_REGISTRY_ACCESS;
  return QELHW_OK;
}

QelHwStatus WriteValue(const ValueKind& kind, plat::RegistryRoot root, const char* key,
                       const char* value, const void* data, std::uint32_t size) {
  if (data == nullptr) return QELHW_ERROR_NULL_PTR;
  plat::RegistryKey* raw_key = nullptr;
  std::uint32_t error = plat::reg_create_key(root, OrEmpty(key), &raw_key);
  OpenKey open_key(raw_key);
  if (error != plat::kErrorSuccess) return QELHW_ERROR_REGISTRY_KEY_OPEN;

  std::uint32_t type = 0;
  std::uint32_t stored = 0;
  error = plat::reg_query_value(open_key.get(), OrEmpty(value), &type, nullptr, &stored);
  if (error == plat::kErrorSuccess && !kind.accepts(type)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, kind.write_mismatch, QelWinModuleLabel());
    return QELHW_ERROR_ARG_INVALID;
  }
  error = plat::reg_set_value(open_key.get(), OrEmpty(value), kind.write_type, data, size);
  if (error != plat::kErrorSuccess) return QELHW_ERROR_REGISTRY_ACCESS;
  return QELHW_OK;
}

}  // namespace

QelHwStatus ReadRegistryDword(plat::RegistryRoot root, const char* key, const char* value,
                              std::uint32_t* data) {
  return ReadValue(kDword, root, key, value, data, sizeof(std::uint32_t));
}

QelHwStatus WriteRegistryDword(plat::RegistryRoot root, const char* key, const char* value,
                               std::uint32_t data) {
  return WriteValue(kDword, root, key, value, &data, sizeof data);
}

QelHwStatus ReadRegistryString(plat::RegistryRoot root, const char* key, const char* value,
                               char* data, std::uint32_t size) {
  return ReadValue(kString, root, key, value, data, size);
}

QelHwStatus WriteRegistryString(plat::RegistryRoot root, const char* key, const char* value,
                                const char* data) {
  if (data == nullptr) return QELHW_ERROR_NULL_PTR;
  return WriteValue(kString, root, key, value, data,
                    static_cast<std::uint32_t>(std::strlen(data) + 1));
}

QelHwStatus ReadRegistryBinary(plat::RegistryRoot root, const char* key, const char* value,
                               void* data, std::uint32_t size) {
  return ReadValue(kBinary, root, key, value, data, size);
}

QelHwStatus WriteRegistryBinary(plat::RegistryRoot root, const char* key, const char* value,
                                const void* data, std::uint32_t size) {
  return WriteValue(kBinary, root, key, value, data, size);
}
