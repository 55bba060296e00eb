// The multi-firmware configuration: which configuration file was chosen for
// a board slot, or for all boards, kept in the firmware key tree of the
// configuration store. "MultiConfigEnable" decides whether the records are
// kept per board slot.
#include <algorithm>
#include <cstring>
#include <string>
#include <strings.h>

#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"
#include "qellib/QelWinRegistry.h"

namespace {

constexpr const char* kInfoKey = "ConfigurationInfo";
constexpr const char* kEnableValue = "MultiConfigEnable";
constexpr const char* kBoardModelValue = "BoardModel";
constexpr const char* kManualValue = "FirmwareManuallyLoaded";
constexpr const char* kCfcIdValue = "CfcId";
constexpr const char* kCfcNameValue = "CfcName";
constexpr const char* kDefaultIndexValue = "DefaultFirmwareIndex";
constexpr std::size_t kCompleteNameLength = 3;

std::string InfoKey() { return std::string(YAT_FIRMWARE_ROOT_KEY) + "\\" + kInfoKey; }

QelHwStatus ReadNumber(const std::string& key, const char* name, std::uint32_t* value) {
  std::uint32_t size = sizeof *value;
  *value = 0;
  return QelWinReadRegistry(YAT_REGISTRY_ROOT, key.c_str(), name, kQelWinTypeDword, value, &size);
}

QelHwStatus ReadText(const std::string& key, const char* name, char* text, std::uint32_t size) {
  std::memset(text, 0, size);
  std::uint32_t length = size - 1;
  return QelWinReadRegistry(YAT_REGISTRY_ROOT, key.c_str(), name, kQelWinTypeString, text, &length);
}

QelHwStatus WriteNumber(const std::string& key, const char* name, std::uint32_t value) {
  return QelWinWriteRegistry(YAT_REGISTRY_ROOT, key.c_str(), name, kQelWinTypeDword, &value, sizeof value);
}

QelHwStatus WriteText(const std::string& key, const char* name, const char* text) {
  return QelWinWriteRegistry(YAT_REGISTRY_ROOT, key.c_str(), name, kQelWinTypeString, text,
                             static_cast<std::uint32_t>(std::strlen(text) + 1));
}

void LogNotAccessible(const std::string& key, const char* name) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "Registry Entry not accessible: %s\\%s", key.c_str(), name);
}

// root[\slot]\ConfigurationInfo
std::string RecordBase(const char* slot) {
  std::string key = YAT_FIRMWARE_ROOT_KEY;
  if (std::strlen(slot) > 1) key += std::string("\\") + slot;
  return key + "\\" + kInfoKey;
}

std::string WithConfiguration(std::string key, const char* name) {
  if (std::strlen(name) > 1) key += std::string("\\") + name;
  return key;
}

QelHwStatus WriteRecord(const YatRegistryFirmwareKeyInfo& names, const char* slot,
                        const QelMultiFirmwareCfgInfo* info, std::uint32_t size) {
  std::string key = RecordBase(slot);
  QelHwStatus status = QELHW_OK;
  if (names.configurationName[0] != '\0') status = WriteText(key, kBoardModelValue, names.configurationName);
  key = WithConfiguration(key, names.configurationName);
  const bool manual = (info->flags & QEL_MULTI_FW_MANUALLY_LOADED) != 0;
  if (status == QELHW_OK) status = WriteNumber(key, kManualValue, info->flags & QEL_MULTI_FW_MANUALLY_LOADED);
  if (status == QELHW_OK && !manual) status = WriteNumber(key, kCfcIdValue, info->CfcId);
  if (status == QELHW_OK && !manual) {
    char name[sizeof info->CfcName + 1] = {};
    std::memcpy(name, info->CfcName, sizeof info->CfcName);
    status = WriteText(key, kCfcNameValue, name);
  }
  if (status != QELHW_OK) return status;
  if (size == sizeof(QelMultiFirmwareCfgInfo)) status = WriteNumber(key, kDefaultIndexValue, info->DefaultFirmwareIndex);
  if (status != QELHW_OK || size != sizeof(QelMultiFirmwareCfgInfo)) LogNotAccessible(key, kDefaultIndexValue);
  return status;
}

// Reads one record; *complete when it names a configuration file.
QelHwStatus ReadRecord(const YatRegistryFirmwareKeyInfo& names, const char* slot, bool enabled,
                       QelMultiFirmwareCfgInfo* info, std::uint32_t size, bool* complete) {
  std::string key = RecordBase(slot);
  QelHwStatus status = QELHW_OK;
  if (names.configurationName[0] != '\0') {
    char model[YAT_REGISTRY_TEXT_SIZE];
    status = ReadText(key, kBoardModelValue, model, sizeof model);
    if (status == QELHW_OK && enabled && model[0] != '\0' && strcasecmp(model, names.configurationName) != 0)
      info->flags |= QEL_MULTI_FW_MODEL_DIFFERS;
  }
  key = WithConfiguration(key, names.configurationName);
  if (status == QELHW_OK) status = ReadNumber(key, kCfcIdValue, &info->CfcId);
  if (status == QELHW_OK) status = ReadText(key, kCfcNameValue, info->CfcName, sizeof info->CfcName);
  if (status == QELHW_OK && size == sizeof(QelMultiFirmwareCfgInfo)) {
    status = ReadNumber(key, kDefaultIndexValue, &info->DefaultFirmwareIndex);
    if (status != QELHW_OK) LogNotAccessible(key, kDefaultIndexValue);
  } else if (status == QELHW_OK) {
    LogNotAccessible(key, kDefaultIndexValue);
  }
  std::uint32_t manual = 0;
  if (status == QELHW_OK) status = ReadNumber(key, kManualValue, &manual);
  if (manual != 0) info->flags |= QEL_MULTI_FW_MANUALLY_LOADED;
  *complete = status == QELHW_OK && strnlen(info->CfcName, sizeof info->CfcName) >= kCompleteNameLength;
  return status;
}

QelHwStatus CheckSizes(const char* what, const void* info, std::uint32_t size,
                       const YatRegistryFirmwareKeyInfo& names) {
  if (info == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: cfginfo is NULL: %s", what, kPardowLabel);
    return QELHW_ERROR_NULL_PTR;
  }
  // A record too short for its fixed fields would have bytes past its end touched.
  if (size > sizeof(QelMultiFirmwareCfgInfo) || size < QEL_MULTI_FW_SHORT_SIZE) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: pCfgInfo size mismatch", what);
    return QELHW_ERROR_RESOURCE_LACK;
  }
  if (names.size != sizeof names) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: pRegistryKeyNameInfo size mismatch", what);
    return QELHW_ERROR_RESOURCE_LACK;
  }
  return QELHW_OK;
}

QelHwStatus KeyNames(std::uint32_t board, YatRegistryFirmwareKeyInfo* names) {
  *names = YatRegistryFirmwareKeyInfo{};
  names->size = sizeof *names;
  return Yat_Man_GetRegistryFirmwareKeyInfo(board, 0, YAT_FIRMWARE_KEY_MODEL, names);
}

}  // namespace

QelHwStatus Yat_Man_GetMultiFirmwareConfigEnable(std::uint32_t, std::uint32_t* enable) {
  if (enable == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "MultiFirmwareConfigEnable, pEnable is NULL");
    return QELHW_ERROR_NULL_PTR;
  }
  const QelHwStatus status = ReadNumber(InfoKey(), kEnableValue, enable);
  if (status != QELHW_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "MultiFirmwareConfigEnable Entry not accessible: %s\\%s",
              InfoKey().c_str(), kEnableValue);
  return status;
}

QelHwStatus Yat_Man_SetMultiFirmwareConfigEnable(std::uint32_t, std::uint32_t enable) {
  const QelHwStatus status = WriteNumber(InfoKey(), kEnableValue, enable);
  if (status != QELHW_OK) LogNotAccessible(InfoKey(), kEnableValue);
  return status;
}

QelHwStatus Yat_Man_SetMultiFirmwareConfig(std::uint32_t board, const QelMultiFirmwareCfgInfo* info,
                                           std::uint32_t size) {
  YatRegistryFirmwareKeyInfo names;
  QelHwStatus status = KeyNames(board, &names);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: SetMultiFirmwareConfig: GetRegistryFirmwareKeyInfo failed, status = %d",
              kPardowLabel, static_cast<int>(status));
    return status;
  }
  status = CheckSizes("SetMultiFirmwareConfig", info, size, names);
  if (status == QELHW_OK) status = WriteRecord(names, names.boardSlot, info, size);
  if (status == QELHW_OK && std::strlen(names.boardSlot) > 1) {
    status = WriteRecord(names, "", info, size);
    if (status != QELHW_OK)
      LogPutLog(kQelLogError, __FILE__, __LINE__, " FirmwareUpdate: write root key fail %s,%s.", names.boardSlot,
                names.configurationName);
  }
  return status;
}

QelHwStatus Yat_Man_GetMultiFirmwareConfig(std::uint32_t board, QelMultiFirmwareCfgInfo* info, std::uint32_t size) {
  YatRegistryFirmwareKeyInfo names;
  QelHwStatus status = KeyNames(board, &names);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__,
              "%s: GetMultiFirmwareConfig_Info: GetRegistryFirmwareKeyInfo failed, status = %d", kPardowLabel,
              static_cast<int>(status));
    return status;
  }
  status = CheckSizes("GetMultiFirmwareConfig", info, size, names);
  if (status != QELHW_OK) return status;
  info->flags = 0;
  std::uint32_t enabled = 0;
  status = ReadNumber(InfoKey(), kEnableValue, &enabled);
  if (status != QELHW_OK) return status;
  const bool bySlot = enabled != 0 && std::strlen(names.boardSlot) > 1;
  bool complete = false;
  status = ReadRecord(names, bySlot ? names.boardSlot : "", enabled != 0, info, size, &complete);
  if (complete) return QELHW_OK;
  info->flags |= QEL_MULTI_FW_NOT_FOUND;
  if (!bySlot) return status;
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, " FirmwareUpdate: %s,%s, unConfigured slot, checking root key",
            names.boardSlot, names.configurationName);
  status = ReadRecord(names, "", true, info, size, &complete);
  if (complete) {
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, " FirmwareUpdate: %s,%s, Configuration taken from root key.",
              names.boardSlot, names.configurationName);
    info->flags |= QEL_MULTI_FW_FROM_ROOT;
    return QELHW_OK;
  }
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, " FirmwareUpdate: %s,%s, unConfigured board model.", names.boardSlot,
            names.configurationName);
  return status;
}

QelHwStatus Yat_Man_SetDefaultFirmwareIndex(std::uint32_t board, std::uint32_t index) {
  QelMultiFirmwareCfgInfo info{};
  info.size = sizeof info;
  QelHwStatus status = Yat_Man_GetMultiFirmwareConfig(board, &info, sizeof info);
  if (status != QELHW_OK) return status;
  info.DefaultFirmwareIndex = index;
  return Yat_Man_SetMultiFirmwareConfig(board, &info, sizeof info);
}
