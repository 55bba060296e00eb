// What the board says about the firmware of each flash section: its header
// (from flash, or from the configured file for the daughter boards), its
// state flags and its name.
#include <algorithm>
#include <cstring>

#include "driver/user/Cbh.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRecordPlaces[] = {1, 10, 14, 15};  // sections 0 to 3, in records (and headers)
constexpr std::uint32_t kSlotOfSection[YAT_FLASH_SECTION_COUNT] = {0, 1, 0, 0, 2, 3};
constexpr std::uint32_t kHeaderInFileSize = 186;
constexpr std::uint32_t kRegFpgaState = 0x10008;
constexpr std::uint32_t kRunsBackup = 0x80000000;
constexpr std::uint32_t kProtectionPrm = 5;

constexpr std::uint32_t kStatePresent = 0x1;
constexpr std::uint32_t kStateHeaderValid = 0x2;
constexpr std::uint32_t kStateRunning = 0x4;
constexpr std::uint32_t kStateProtected = 0x8;
constexpr std::uint32_t kStateUnprotected = 0x10;
constexpr std::uint32_t kStateIdle = 0x20;

bool IsFlashSection(std::uint32_t section) { return section <= 1 || section == 4 || section == 5; }

QelHwStatus FromSlot(std::uint32_t board, std::uint32_t section, void* header, std::uint32_t size) {
  std::uint8_t slot[YAT_FLASH_SLOT_SIZE];
  const QelHwStatus status = Yat_Flash_ReadData(
      board, YAT_FLASH_HEADER_AREA + kSlotOfSection[section] * YAT_FLASH_SLOT_SIZE, sizeof slot, slot);
  if (status != QELHW_OK) return status;
  std::uint32_t magic = 0, at = 0, length = 0;
  std::memcpy(&magic, slot, 4);
  std::memcpy(&at, slot + 4, 4);
  if (magic != YAT_FLASH_SLOT_MAGIC || at > YAT_FLASH_SLOT_SIZE - 15) return QELHW_ERROR_DATA_INVALID_HEADER;
  std::memcpy(&length, slot + at + offsetof(CbhHeader, headerSize), 4);
  const std::uint32_t count = std::min({length, size, YAT_FLASH_SLOT_SIZE - at});
  std::memcpy(header, slot + at, count);
  return QELHW_OK;
}

bool FromRecordPlace(std::uint32_t board, std::uint32_t section, void* header) {
  std::uint8_t record[kCbhFlashRecordSize];
  if (Yat_Flash_ReadData(board, kRecordPlaces[section] * kCbhFlashRecordSize, sizeof record, record) == QELHW_OK &&
      Cbh_IsValidFlashRecord(record, sizeof record, nullptr))
    return Cbh_BuildFromFlashRecord(record, header) == QELHW_OK;
  std::uint8_t plain[kCbhHeaderSize];
  if (Yat_Flash_ReadData(board, kRecordPlaces[section] * kCbhHeaderSize, sizeof plain, plain) == QELHW_OK &&
      Cbh_IsValid(plain, sizeof plain)) {
    std::memcpy(header, plain, sizeof plain);
    return true;
  }
  return false;
}

std::uint32_t ProtectionFlag(std::uint32_t board, std::uint32_t section) {
  std::uint32_t locked = 0;
  if (Yat_Man_GetDevicePrm(board, section, kProtectionPrm, sizeof locked, &locked) == QELHW_OK && locked != 0)
    return kStateProtected;
  return kStateUnprotected;
}

std::uint32_t StateFlags(std::uint32_t board, std::uint32_t section, bool headerValid) {
  std::uint32_t flags = headerValid ? kStateHeaderValid : 0;
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (section <= 1) {
    flags |= kStatePresent | ProtectionFlag(board, section);
    std::uint32_t state = 0;
    if (Yat_ReadDataReg(board, kRegFpgaState, &state) == QELHW_OK) {
      const bool runsBackup = (state & kRunsBackup) != 0;
      flags |= (runsBackup == (section == 0)) ? kStateRunning : kStateIdle;
    }
  } else if (section == 2 || section == 3) {
    if ((section == 2 ? entry->xioPresent : entry->ipuPresent) != 0) flags |= kStatePresent | kStateRunning;
  } else {
    flags |= kStatePresent | ProtectionFlag(board, section);
  }
  return flags;
}

// Sections 2 and 3: the header of the file the configuration store names.
void FromConfiguredFile(std::uint32_t board, std::uint32_t section, std::uint8_t* header) {
  char key[2 * YAT_REGISTRY_TEXT_SIZE + 2] = {};
  const int used = std::snprintf(key, sizeof key, "%s\\", YAT_FIRMWARE_ROOT_KEY);
  if (Yat_Man_GetRegistryFirmwareKey(board, section, key + used, static_cast<std::uint32_t>(sizeof key - used)) !=
      QELHW_OK)
    return;
  std::uint8_t keyed[kCbhHeaderSize] = {};
  char file[CbhKeyedText::kFileNameSize] = {};
  if (Cbh_ReadHeaderInfo(key, keyed, file, sizeof file) != QELHW_OK || file[0] == '\0') return;
  Cbh_ReadHeaderFromFile(file, header);
}

}  // namespace

QelHwStatus Yat_Man_ReadSectionHeader(std::uint32_t board, std::uint32_t section, void* header, std::uint32_t size) {
  if (section >= YAT_FLASH_SECTION_COUNT || header == nullptr || size < kCbhHeaderSize) return QELHW_ERROR_ARG_INVALID;
  if (section < 4 && FromRecordPlace(board, section, header)) return QELHW_OK;
  return FromSlot(board, section, header, size);
}

PARDOW_API QelHwStatus QelHw_X_Firmware_GetVersionInfo(std::uint32_t board, std::uint32_t section,
                                                       std::uint32_t* stateFlags, std::uint8_t* buffer,
                                                       std::uint32_t bufferSize, std::uint32_t* headerSize) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, QelHw_X_Firmware_GetVersionInfo ARGUMENT INVALID",
              kPardowLabel, static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (stateFlags == nullptr || headerSize == nullptr || (bufferSize != 0 && buffer == nullptr))
    return QELHW_ERROR_ARG_INVALID;
  if (section >= YAT_FLASH_SECTION_COUNT) return QELHW_ERROR_RESOURCE_RANGE;
  *stateFlags = 0;
  *headerSize = 0;
  std::uint8_t header[YAT_FLASH_SLOT_SIZE] = {};
  bool valid = false;
  if (IsFlashSection(section)) {
    valid = Yat_Man_ReadSectionHeader(board, section, header, sizeof header) == QELHW_OK &&
            Cbh_IsValid(header, sizeof header);
    std::uint32_t size = 0;
    if (valid && Cbh_GetHeaderSize(header, sizeof header, &size) == QELHW_OK)
      *headerSize = std::min<std::uint32_t>(size, sizeof header);
  } else {
    *headerSize = kHeaderInFileSize;
  }
  if (bufferSize == 0 || bufferSize < *headerSize) return QELHW_OK;
  if (!IsFlashSection(section)) {
    FromConfiguredFile(board, section, header);
    valid = Cbh_IsValid(header, sizeof header);
  }
  *stateFlags = StateFlags(board, section, valid);
  const std::uint32_t count = std::min(bufferSize, *headerSize);
  std::memcpy(buffer, header, count);
  *headerSize = count;
  return QELHW_OK;
}

PARDOW_API QelHwStatus QelHw_X_Firmware_GetName(std::uint32_t board, std::uint32_t section, char* name,
                                                std::uint32_t size) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, QelHw_X_Firmware_GetName ARGUMENT INVALID",
              kPardowLabel, static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (name == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (section >= YAT_FLASH_SECTION_COUNT) return QELHW_ERROR_RESOURCE_RANGE;
  const char* text = YatFlashSectionNames[section];
  if (std::strlen(text) >= size) return QELHW_ERROR_ARG_INVALID;
  std::memcpy(name, text, std::strlen(text) + 1);
  return QELHW_OK;
}
