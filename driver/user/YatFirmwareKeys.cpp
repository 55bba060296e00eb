// The keys under which the configuration store records, per flash section,
// which firmware file a board was configured with.
#include <cstdio>
#include <cstring>

#include "driver/user/Cbh.h"
#include "driver/user/EepromI2c.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kMainSection = 1;
constexpr std::uint32_t kXioSection = 2;
constexpr std::uint32_t kIpuSection = 3;
constexpr std::uint32_t kBoardSlotMinSize = 17;
constexpr std::uint32_t kFileNameLimit = 260;

void CopyText(char* destination, std::uint32_t size, const char* text) {
  if (size == 0) return;
  std::snprintf(destination, size, "%s", text);
}

// The value kind that follows the section name in its key, or null.
const char* ValueKind(std::uint32_t section, std::uint32_t flags, bool full) {
  if (section == kMainSection || (flags & YAT_FIRMWARE_KEY_MODEL) != 0) return full ? "Full A0 File" : "Dual A0 File";
  if (section == kXioSection || section == kIpuSection) return "File";
  return nullptr;
}

QelHwStatus FillKeyInfo(std::uint32_t board, std::uint32_t section, std::uint32_t flags,
                        YatRegistryFirmwareKeyInfo* info) {
  if (section >= YAT_FLASH_SECTION_COUNT) return QELHW_ERROR_ARG_INVALID;
  std::uint8_t image[YAT_EEPROM_IMAGE_SIZE];
  QelHwStatus status = Yat_Eeprom_GetInfo(board, 0, image, sizeof image);
  if (status != QELHW_OK) return status;
  if (status == QELHW_OK) status = Yat_Man_BoardSlotString(board, info->boardSlot, sizeof info->boardSlot);
  if (status != QELHW_OK) return status;
  const bool full = Yat_Man_ModelWord(board) == YAT_MODEL_FULL;
  CopyText(info->rootKey, sizeof info->rootKey, YAT_FIRMWARE_ROOT_KEY);
  const bool named = section == kMainSection || (flags & YAT_FIRMWARE_KEY_MODEL) != 0;
  CopyText(info->configurationName, sizeof info->configurationName,
           named ? (full ? "FolvantX4Full" : "FolvantX4Dual") : "");
  const char* kind = ValueKind(section, flags, full);
  std::snprintf(info->sectionKey, sizeof info->sectionKey, "Default\\%s%s%s", YatFlashSectionNames[section],
                kind != nullptr ? " " : "", kind != nullptr ? kind : "");
  reinterpret_cast<char*>(info)[sizeof *info - 1] = '\0';
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_Man_BoardSlotString(std::uint32_t board, char* text, std::uint32_t size) {
  if (text == nullptr) return QELHW_ERROR_NULL_PTR;
  if (size < kBoardSlotMinSize) return QELHW_ERROR_RESOURCE_LACK;
  std::uint32_t location[3] = {};
  const QelHwStatus status = Yat_Man_GetPciLocation(board, reinterpret_cast<std::uint8_t*>(location), sizeof location);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: GenerateBoardSlotString: Yat_Man_GetBoardInfoFromKernel failed status=%d.", kPardowLabel,
              static_cast<int>(status));
    return status;
  }
  std::snprintf(text, size, "Bus%02x_Slot%02x", location[0] & 0xFF, location[1] & 0xFF);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetRegistryFirmwareKeyInfo(std::uint32_t board, std::uint32_t section,
                                                          std::uint32_t flags, YatRegistryFirmwareKeyInfo* info) {
  if (info == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: GetRegistryFirmwareKeyInfo(): pRegistryNameInfo is NULL. ",
              kPardowLabel);
    return QELHW_ERROR_NULL_PTR;
  }
  const QelHwStatus status = FillKeyInfo(board, section, flags, info);
  if (status != QELHW_OK)
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Yat_Man_GetRegistryFirmwareKey(%d,%d) 0x%x", kPardowLabel,
              static_cast<int>(board), static_cast<int>(section), static_cast<unsigned>(status));
  return status;
}

PARDOW_API QelHwStatus Yat_Man_GetRegistryFirmwareKey(std::uint32_t board, std::uint32_t section, char* key,
                                                      std::uint32_t size) {
  if (key == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: GetRegistryFirmwareKey(): pKeyName is NULL. ", kPardowLabel);
    return QELHW_ERROR_NULL_PTR;
  }
  YatRegistryFirmwareKeyInfo info{};
  info.size = sizeof info;
  QelHwStatus status = Yat_Man_GetRegistryFirmwareKeyInfo(board, section, 0, &info);
  if (status != QELHW_OK) return status;
  std::uint32_t enable = 0;
  status = Yat_Man_GetMultiFirmwareConfigEnable(board, &enable);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: GetRegistryFirmwareKey(): GetMultiFirmwareConfig failed status = %x. ", kPardowLabel,
              static_cast<unsigned>(status));
    return status;
  }
  if (size == 0) return QELHW_OK;
  if (enable != 0)
    std::snprintf(key, size, "%s\\%s", info.boardSlot, info.sectionKey);
  else
    std::snprintf(key, size, "%s", info.sectionKey);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetFpgaFileName(std::uint32_t board, std::uint32_t section, char* name,
                                               std::uint32_t size) {
  if (name == nullptr || size == 0) return QELHW_ERROR_ARG_INVALID;
  char key[2 * YAT_REGISTRY_TEXT_SIZE + 2] = {};
  std::memcpy(key, YAT_FIRMWARE_ROOT_KEY, std::strlen(YAT_FIRMWARE_ROOT_KEY));
  std::size_t used = std::strlen(key);
  key[used++] = '\\';
  QelHwStatus status = Yat_Man_GetRegistryFirmwareKey(board, section, key + used,
                                                      static_cast<std::uint32_t>(sizeof key - used));
  if (status != QELHW_OK) return status;
  const std::uint32_t limit = size < kFileNameLimit ? size : kFileNameLimit;
  std::memset(name, 0, limit);
  status = Cbh_ReadHeaderInfo(key, nullptr, name, limit);
  name[size - 1] = '\0';
  return status;
}

PARDOW_API QelHwStatus Yat_Man_SetFpgaFileName(std::uint32_t board, std::uint32_t section, const char* file) {
  const std::uint16_t model = Yat_Man_ModelWord(board);
  if ((model != YAT_MODEL_FULL && model != YAT_MODEL_DUAL) || file == nullptr) return QELHW_ERROR_ARG_INVALID;
  char key[2 * YAT_REGISTRY_TEXT_SIZE + 2] = {};
  const int used = std::snprintf(key, sizeof key, "%s\\", YAT_FIRMWARE_ROOT_KEY);
  const QelHwStatus status = Yat_Man_GetRegistryFirmwareKey(board, section, key + used,
                                                            static_cast<std::uint32_t>(sizeof key - used));
  if (status != QELHW_OK) return status;
  return Cbh_StoreFileHeader(key, file);
}
